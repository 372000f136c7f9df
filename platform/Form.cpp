#include "platform/Form.h"

#include "platform/Application.h"
#include "platform/WindowMenu.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

namespace platform {

namespace {

Qt::WindowFlags FlagsFor(TForm::Frame frame)
{
    switch (frame) {
    case TForm::Frame::None:
        return Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
               Qt::WindowSystemMenuHint;
    case TForm::Frame::Tool:
        return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
               Qt::WindowCloseButtonHint;
    case TForm::Frame::Sizeable:
        break;
    }
    return Qt::Window;
}

} // namespace

TForm::TForm(Frame frame, const QString &caption) : QWidget(nullptr, FlagsFor(frame))
{
    setWindowTitle(caption);
    // Windows are painted in the button-face colour wherever nothing else is.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    // The window manager shows its own window menu for the windows it
    // frames; for one it does not frame, this is the way to its commands.
    if (frame == Frame::None) {
        auto *key = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
        connect(key, &QShortcut::activated, this, [this] { ShowWindowMenu(); });
    }
}

TForm::~TForm() = default;

TWindowMenu *TForm::WindowMenu()
{
    if (!windowMenu_)
        windowMenu_ = std::make_unique<TWindowMenu>(this);
    return windowMenu_.get();
}

void TForm::ShowWindowMenu()
{
    // Below the window's top-left corner, where its title bar's menu
    // button would be.
    WindowMenu()->Popup(mapToGlobal(QPoint(0, 0)));
}

void TForm::SysCommand(uint16_t command)
{
    switch (command & 0xFFF0) {
    case SC_CLOSE:
        close();
        break;
    case SC_MINIMIZE:
        // The main window takes the whole program with it.
        if (Application && Application->MainForm() == this)
            Application->Minimize();
        else
            showMinimized();
        break;
    case SC_MAXIMIZE:
        if (!(windowFlags() & Qt::FramelessWindowHint) && minimumSize() != maximumSize())
            showMaximized();
        break;
    case SC_RESTORE:
        showNormal();
        break;
    case SC_MOVE:
        if (windowHandle())
            windowHandle()->startSystemMove();
        break;
    case SC_SIZE:
        if (windowHandle() && !(windowFlags() & Qt::FramelessWindowHint) &&
            minimumSize() != maximumSize())
            windowHandle()->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
        break;
    default:
        break;
    }
}

bool TForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed() && OnWindowPaint)
        Guarded(OnWindowPaint);
    return QWidget::eventFilter(watched, event);
}

bool TForm::event(QEvent *event)
{
    if (event->type() == QEvent::Show && !watchingExposure_ && windowHandle()) {
        watchingExposure_ = true;
        windowHandle()->installEventFilter(this);
    }
    if (event->type() == TMessageEvent::EventType()) {
        const TMsg &msg = static_cast<TMessageEvent *>(event)->Msg;
        if (msg.message == WM_SYSCOMMAND)
            Guarded([&] { SysCommand(uint16_t(msg.wParam)); });
        return true;
    }
    return QWidget::event(event);
}

void TForm::Show()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TForm::setVisible(bool visible)
{
    if (visible && !isVisible() && !inShowHandler_) {
        inShowHandler_ = true;
        // A failing show handler is reported, and the window still shows.
        Guarded(OnShow);
        inShowHandler_ = false;
        if (centerOnFirstShow_ && !shownOnce_) {
            shownOnce_ = true;
            CenterOnScreen();
            return;
        }
        shownOnce_ = true;
    }
    QWidget::setVisible(visible);
}

void TForm::CenterOnScreen()
{
    QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    centerArea_ = s->availableGeometry();
    // The frame's size is known only once the window manager has framed
    // the window; until then the client area is centred, and the first move
    // that brings the frame's size along centres the whole frame. Nothing
    // is waited for here: a loop run now would let other handlers in.
    move(centerArea_.center() - rect().center());
    centerPending_ = true;
    QWidget::setVisible(true);
    RecenterWithFrame();
}

void TForm::RecenterWithFrame()
{
    if (!centerPending_ || frameGeometry().size() == size())
        return;
    centerPending_ = false;
    move(pos() + centerArea_.center() - frameGeometry().center());
}

void TForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    RecenterWithFrame();
    ApplyFrameSize();
}

void TForm::SetFrameSize(int width, int height)
{
    pendingFrameSize_ = QSize(width, height);
    ApplyFrameSize();
}

void TForm::ApplyFrameSize()
{
    if (!pendingFrameSize_.isValid() || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return; // not framed yet
    const QSize client = pendingFrameSize_ - frame;
    pendingFrameSize_ = QSize();
    resize(client);
}

int TForm::MenuBarHeight() const
{
    return menuBar_ ? menuBar_->sizeHint().height() : 0;
}

void TForm::LayoutMenuBar()
{
    if (!menuBar_)
        return;
    const int h = MenuBarHeight();
    menuBar_->setGeometry(0, 0, width(), h);
    client_->setGeometry(0, h, width(), height() - h);
}

int TForm::ClientWidth() const { return width(); }

int TForm::ClientHeight() const { return height() - MenuBarHeight(); }

void TForm::ResizeClient(int width, int height)
{
    if (width == ClientWidth() && height == ClientHeight())
        return;
    resizingByCode_ = true;
    resize(width, height + MenuBarHeight());
    resizingByCode_ = false;
    LayoutMenuBar();
    // Qt delivers the resize of a hidden window only when it is shown; the
    // handler runs now either way.
    Guarded(OnResize);
}

void TForm::SetClientWidth(int width) { ResizeClient(width, ClientHeight()); }

void TForm::SetClientHeight(int height) { ResizeClient(ClientWidth(), height); }

void TForm::SetFixedClientSize(int width, int height)
{
    setFixedSize(width, height + MenuBarHeight());
    LayoutMenuBar();
}

void TForm::SetLeft(int left) { move(left, y()); }

void TForm::SetTop(int top) { move(x(), top); }

void TForm::SetMenuBar(QMenuBar *bar)
{
    menuBar_ = bar;
    bar->setParent(this);
    if (!client_)
        client_ = new QWidget(this);
    LayoutMenuBar();
}

void TForm::SetStayOnTop(bool on)
{
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

QRect TForm::VisibleArea() const
{
    QRect area = rect();
    if (const QScreen *s = screen()) {
        const QRect desktop = s->virtualGeometry();
        area &= QRect(mapFromGlobal(desktop.topLeft()), desktop.size());
    }
    return area;
}

void TForm::PaintNow()
{
    if (!isVisible())
        return;
    const QRect area = VisibleArea();
    if (!area.isEmpty())
        repaint(area);
}

void TForm::paintEvent(QPaintEvent *event)
{
    if (!OnPaint)
        return;
    const QRegion clip = event->region() & VisibleArea();
    if (clip.isEmpty())
        return;
    QPainter painter(this);
    // An explicit clip, so that block copies convert only what is kept.
    painter.setClipRegion(clip);
    PainterContext context(painter);
    canvas_ = &context;
    try {
        OnPaint();
    } catch (...) {
        // No box inside a paint: it would run a loop that paints again.
        canvas_ = nullptr;
        const QString message = CurrentExceptionText();
        QMetaObject::invokeMethod(
            qApp, [message] { if (Application) Application->ShowException(message); },
            Qt::QueuedConnection);
    }
    canvas_ = nullptr;
}

void TForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayoutMenuBar();
    ApplyFrameSize();
    if (!resizingByCode_)
        Guarded(OnResize);
}

void TForm::closeEvent(QCloseEvent *event)
{
    Guarded(OnClose);
    // Closing the main window, by whatever means, ends the program.
    if (Application && Application->MainForm() == this)
        Application->Terminate();
    event->accept();
}

void TForm::mousePressEvent(QMouseEvent *event)
{
    if (moveByDrag_ && event->button() == Qt::LeftButton) {
        event->accept();
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        // No window manager move: follow the pointer while the button is held.
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TForm::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging_) {
        if (event->buttons() & Qt::LeftButton)
            move(event->globalPosition().toPoint() - dragOffset_);
        else
            dragging_ = false;
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TForm::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TForm::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0 && defaultButton_ &&
        defaultButton_->isVisible() && defaultButton_->isEnabled()) {
        event->accept();
        defaultButton_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The program's windows leave the screen together and come back
    // together.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && Application)
        Application->Restore();
}

void TForm::contextMenuEvent(QContextMenuEvent *event)
{
    if (!popup_) {
        event->ignore();
        return;
    }
    event->accept();
    popup_->popup(event->globalPos());
}

} // namespace platform
