#pragma once
// The application object: owns the toolkit, creates the program's windows,
// runs the event loop until a stop request, and shows every error that
// escapes an event handler in one error box.

#include <QApplication>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace platform {

class TForm;

class TApplication final : public QApplication {
public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    // Prepares the toolkit before any window exists: fonts, and the loop
    // ends only on a stop request (never because a window closed).
    void Initialize();

    // Builds a window of class F from its design, hidden, and runs its
    // creation handler before returning. The first window made is the main
    // window.
    template <class F>
    F *CreateForm()
    {
        F *form = new F();
        Register(form);
        return form;
    }

    // Shows the main window (running its show handler), then dispatches
    // events until a stop request.
    void Run();

    // Asks the running loop to end at its next turn; nested modal loops end
    // too. The caller carries on normally. Made before the loop has started,
    // it keeps Run from entering the loop.
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Takes every window of the program off the screen together; bringing
    // any one of them back brings back all of them.
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }

    // Destroys the windows in reverse order of creation, running each
    // destruction handler.
    void DestroyForms();

    TForm *MainForm() const { return forms_.empty() ? nullptr : forms_.front(); }
    const std::vector<TForm *> &Forms() const { return forms_; }

    // Command-line argument i (0 is the program), empty when there is none.
    QString ParamStr(int i) const;
    void SetArguments(const QStringList &args) { args_ = args; }

    // Sees every event before it is delivered; returning true marks it
    // handled, and it goes no further.
    using MessageHook = std::function<bool(QObject *receiver, QEvent *event)>;
    MessageHook OnMessage;

    // The error box: shows `message` titled "Lumivane" in a modal box. An
    // error raised while a box is up is shown once that box is closed.
    void ShowException(const QString &message);
    void HandleCurrentException();

    // Test hooks: the text of the last error shown, and a stand-in that
    // receives errors in place of the box.
    QString LastErrorText() const { return lastError_; }
    void SetErrorPresenter(std::function<void(const QString &)> presenter)
    {
        presenter_ = std::move(presenter);
    }

    // Forgets the windows and the stop request, for a fresh run in the same
    // process (tests).
    void ResetForTest();

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void Register(TForm *form);

    std::vector<TForm *> forms_;
    QStringList args_;
    bool terminated_ = false;
    bool minimized_ = false;
    bool showingError_ = false;
    QStringList pendingErrors_;
    QString lastError_;
    std::function<void(const QString &)> presenter_;
};

// The one application object, as handlers reach it.
extern TApplication *Application;

// Runs an event handler; an error escaping it goes to the error box.
void Guarded(const std::function<void()> &handler);

// The message of the exception being handled; call only inside a catch.
QString CurrentExceptionText();

} // namespace platform
