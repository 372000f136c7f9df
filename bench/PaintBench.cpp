// Cost of one knob change as the user sees it: the render into the working
// surface and the synchronous repaint of the picture window, for a picture
// that fits the screen and one much larger than it (only the part on the
// screen should be converted and copied).

#include "app/Form1.h"
#include "app/Form2.h"
#include "app/Form3.h"
#include "app/Form4.h"
#include "app/ProgramState.h"
#include "imaging/Win.h"
#include "platform/Application.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir *workDir = nullptr;

QString MakePicture(int w, int h)
{
    TWin win(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            win.Bits[intptr_t(y) * win.Stride + x] = uint8_t(x * 7 + y * 13);
    const QString path = workDir->filePath(QStringLiteral("p%1x%2.bmp").arg(w).arg(h));
    win.SaveBitmapFile(path.toStdString());
    return path;
}

void StartOn(const QString &path)
{
    platform::Application->ResetForTest();
    State = TProgramState{};
    platform::Application->SetArguments({QStringLiteral("lumivane"), path});
    platform::Application->CreateForm<TForm1>();
    platform::Application->CreateForm<TForm2>();
    platform::Application->CreateForm<TForm3>();
    platform::Application->CreateForm<TForm4>();
    State.Form1->Show();
    // Let the window be exposed, or repaints have nowhere to go.
    QCoreApplication::processEvents();
}

void BM_Repaint(benchmark::State &st)
{
    StartOn(MakePicture(int(st.range(0)), int(st.range(1))));
    for (auto _ : st)
        State.Form1->FormPaint();
    st.SetLabel("screen 1280x1024");
}
BENCHMARK(BM_Repaint)->Args({1200, 900})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

void BM_KnobChange(benchmark::State &st)
{
    StartOn(MakePicture(int(st.range(0)), int(st.range(1))));
    int position = 0;
    for (auto _ : st)
        State.Form4->ScrollBar1->SetPosition(++position % 200);
}
BENCHMARK(BM_KnobChange)->Args({1200, 900})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    workDir = &dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile f(config);
    if (f.open(QIODevice::WriteOnly))
        f.write(R"({"windowFrameMargins":false,"screens":[{"name":"s0","x":0,"y":0,)"
                R"("width":1280,"height":1024,"logicalDpi":96}]})");
    f.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    platform::TApplication app(argc, argv);
    app.Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    app.ResetForTest();
    return 0;
}
