#pragma once
// A form: one top-level window of the program with its event handlers.
//
// Handlers are plain callables bound by the window's class when it builds
// its design. The show handler runs before the window becomes visible, each
// time it goes from hidden to shown; the paint handler draws through
// Canvas(), which exists only while a paint is under way.

#include "platform/DrawingContext.h"

#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QMenu;
class QMenuBar;
class QPushButton;

namespace platform {

class TWindowMenu;

class TForm : public QWidget {
public:
    enum class Frame {
        Sizeable, // ordinary frame with a title bar
        None,     // no border, no title bar
        Tool,     // small title bar with a close button only
    };

    TForm(Frame frame, const QString &caption);
    ~TForm() override;

    std::function<void()> OnCreate, OnShow, OnPaint, OnResize, OnDestroy, OnClose;
    // Runs for each paint that the window system asks of the window (shown,
    // uncovered), and not for the repaints of its controls, which the
    // toolkit paints together with the window's own background.
    std::function<void()> OnWindowPaint;

    // Shows the window, running the show handler first when it was hidden;
    // an already visible window is brought to the front.
    void Show();
    void Hide() { hide(); }

    // The client area excludes the menu bar. Setting a different size
    // resizes the window to exactly that client size and raises the resize
    // handler before returning.
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientWidth(int width);
    void SetClientHeight(int height);
    // A client size the user cannot change.
    void SetFixedClientSize(int width, int height);
    // The window's outer size, frame included. The frame's size is known
    // only once the window manager has framed the window, so the client
    // keeps its size until then and takes the rest at the first show.
    void SetFrameSize(int width, int height);

    // The window's outer top-left corner on the screen.
    int Left() const { return x(); }
    int Top() const { return y(); }
    void SetLeft(int left);
    void SetTop(int top);

    // A menu bar above the client area; the form takes it over.
    void SetMenuBar(QMenuBar *bar);
    QMenuBar *MenuBar() const { return menuBar_; }
    // The parent of the window's controls, placed at the client origin.
    QWidget *Client() { return client_ ? client_ : this; }

    // Raised by a right click anywhere on the window.
    void SetPopupMenu(QMenu *menu) { popup_ = menu; }
    // A left press anywhere on the window moves it, like its title bar.
    void SetMoveByClientDrag(bool on) { moveByDrag_ = on; }
    void SetStayOnTop(bool on);
    // Centred on the screen at its first show, then left where it is put.
    void SetCenterOnFirstShow(bool on) { centerOnFirstShow_ = on; }

    // The button that Return and Enter press when the control with the
    // focus does not take those keys itself.
    void SetDefaultButton(QPushButton *button) { defaultButton_ = button; }

    // The window's own menu of window commands (see WindowMenu.h), made at
    // the first call. A window without a frame of the window manager opens
    // it with Alt+Space.
    TWindowMenu *WindowMenu();
    void ShowWindowMenu();
    // Carries out a standard window command (SC_CLOSE, SC_MINIMIZE, ...);
    // other commands do nothing.
    void SysCommand(uint16_t command);

    // The drawing context of a paint under way, null at any other time.
    DrawingContext *Canvas() const { return canvas_; }
    // Paints the on-screen part of the window now, before returning.
    void PaintNow();

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int MenuBarHeight() const;
    void LayoutMenuBar();
    void ResizeClient(int width, int height);
    void CenterOnScreen();
    void RecenterWithFrame();
    void ApplyFrameSize();
    // The part of the window that lies on the desktop, in window pixels:
    // painting anything beyond it would be wasted.
    QRect VisibleArea() const;

    QMenuBar *menuBar_ = nullptr;
    QWidget *client_ = nullptr;
    QMenu *popup_ = nullptr;
    QPushButton *defaultButton_ = nullptr;
    std::unique_ptr<TWindowMenu> windowMenu_;
    bool watchingExposure_ = false;
    DrawingContext *canvas_ = nullptr;
    bool moveByDrag_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
    bool centerOnFirstShow_ = false;
    bool shownOnce_ = false;
    bool centerPending_ = false;
    QRect centerArea_;
    QSize pendingFrameSize_;
    bool inShowHandler_ = false;
    bool resizingByCode_ = false;
};

} // namespace platform
