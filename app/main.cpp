// Lumivane: start-up, the event loop, and shut-down.

#include "app/Form1.h"
#include "app/Form2.h"
#include "app/Form3.h"
#include "app/Form4.h"
#include "app/ProgramState.h"
#include "platform/Application.h"

int main(int argc, char **argv)
{
    platform::TApplication app(argc, argv);
    app.Initialize();
    app.CreateForm<TForm1>(); // the main window; sets up the program state
    app.CreateForm<TForm2>();
    app.CreateForm<TForm3>();
    app.CreateForm<TForm4>();
    app.Run();
    // Knob panel first, picture window last: its destruction frees both
    // surfaces and plays the closing cue to its end.
    app.DestroyForms();
    State.FileName.clear();
    return 0;
}
