#include "platform/Application.h"

#include "platform/Fonts.h"
#include "platform/Form.h"

#include <QMessageBox>
#include <QThread>
#include <exception>

namespace platform {

TApplication *Application = nullptr;

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    args_ = arguments();
    Application = this;
}

TApplication::~TApplication()
{
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize()
{
    setQuitOnLastWindowClosed(false);
    InstallFontSubstitutes();
}

void TApplication::Register(TForm *form)
{
    forms_.push_back(form);
    Guarded(form->OnCreate);
}

void TApplication::Run()
{
    if (TForm *main = MainForm())
        main->Show();
    // exit() is ignored while no loop runs, so a stop request made by the
    // first show is seen here.
    if (!terminated_)
        exec();
}

void TApplication::Terminate()
{
    terminated_ = true;
    // exit(), not quit(): quit() would ask every window to close, and one
    // that refuses would cancel the stop. Only while a loop runs: made with
    // none running, exit() would make every later loop (an error box, the
    // closing cue's wait) return at once until the main loop starts.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void TApplication::Minimize()
{
    minimized_ = true;
    for (QWidget *w : topLevelWidgets())
        if (w->isVisible() && w->isWindow())
            w->showMinimized();
}

void TApplication::Restore()
{
    if (!minimized_)
        return;
    minimized_ = false;
    for (QWidget *w : topLevelWidgets())
        if (w->isVisible() && w->isWindow() && w->isMinimized())
            w->showNormal();
}

void TApplication::DestroyForms()
{
    // Off the screen first: a destruction handler may wait (the closing
    // cue), and no window whose neighbours are gone may take input or
    // paint meanwhile.
    for (TForm *form : forms_)
        form->hide();
    while (!forms_.empty()) {
        TForm *form = forms_.back();
        Guarded(form->OnDestroy);
        forms_.pop_back();
        delete form;
    }
}

QString TApplication::ParamStr(int i) const
{
    return i >= 0 && i < args_.size() ? args_[i] : QString();
}

void TApplication::ResetForTest()
{
    DestroyForms();
    terminated_ = false;
    pendingErrors_.clear();
    lastError_.clear();
}

void TApplication::ShowException(const QString &message)
{
    lastError_ = message;
    if (presenter_) {
        presenter_(message);
        return;
    }
    // A box runs a nested loop in which another handler may fail; its box
    // waits until this one is closed instead of stacking on top of it.
    if (showingError_) {
        pendingErrors_.append(message);
        return;
    }
    showingError_ = true;
    QString text = message;
    for (;;) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Lumivane"), text, QMessageBox::Ok);
        // Above the stay-on-top knob panel, or it could hide behind it.
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.setWindowRole(QStringLiteral("error"));
        box.exec();
        if (pendingErrors_.isEmpty())
            break;
        text = pendingErrors_.takeFirst();
    }
    showingError_ = false;
}

void TApplication::HandleCurrentException()
{
    ShowException(CurrentExceptionText());
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        if (OnMessage && OnMessage(receiver, event))
            return true;
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException();
    }
    return false;
}

void Guarded(const std::function<void()> &handler)
{
    if (!handler)
        return;
    try {
        handler();
    } catch (...) {
        if (Application)
            Application->HandleCurrentException();
        else
            throw;
    }
}

} // namespace platform
