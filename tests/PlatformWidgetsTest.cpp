// The toolkit layer on its own: the error guard, the message hook, forms'
// show, size and drag rules, and the popup menu.

#include "AppTestSupport.h"
#include "platform/Form.h"

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <stdexcept>

namespace {

using ErrorGuard = AppFixture;

TEST_F(ErrorGuard, AnErrorEscapingAHandlerIsShownAndTheLoopGoesOn)
{
    bool after = false;
    QMetaObject::invokeMethod(qApp, [] { throw std::runtime_error("posted failure"); },
                              Qt::QueuedConnection);
    QMetaObject::invokeMethod(qApp, [&] { after = true; }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_TRUE(after);
    EXPECT_EQ(errors, std::vector<QString>{QStringLiteral("posted failure")});

    // Also from a button's click and from a non-standard exception.
    errors.clear();
    platform::Guarded([] { throw 42; });
    EXPECT_EQ(errors, std::vector<QString>{QStringLiteral("Unknown error")});
}

TEST_F(ErrorGuard, TheBoxIsTitledLumivaneAndCarriesTheMessage)
{
    platform::Application->SetErrorPresenter(nullptr);
    std::vector<std::pair<QString, QString>> boxes;
    const auto answer = [&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_TRUE(box);
        boxes.emplace_back(box->windowTitle(), box->text());
        box->accept();
    };
    WhenModal([&](QWidget *w) {
        // A second error while the first box is up waits for it.
        platform::Application->ShowException(QStringLiteral("second"));
        EXPECT_EQ(boxes.size(), 0u);
        answer(w);
        WhenModal(answer);
    });
    platform::Guarded([] { throw std::runtime_error("Cannot open file x.bmp"); });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], (std::pair<QString, QString>{QStringLiteral("Lumivane"),
                                                      QStringLiteral("Cannot open file x.bmp")}));
    EXPECT_EQ(boxes[1].second, QStringLiteral("second"));
    EXPECT_EQ(platform::Application->LastErrorText(), QStringLiteral("second"));
}

TEST_F(ErrorGuard, TheMessageHookSeesEventsFirstAndCanSwallowThem)
{
    int seen = 0;
    struct Counter : QObject {
        int delivered = 0;
        bool event(QEvent *e) override
        {
            if (e->type() == QEvent::User)
                ++delivered;
            return QObject::event(e);
        }
    } counter;
    platform::Application->OnMessage = [&](QObject *r, QEvent *e) {
        if (r != &counter || e->type() != QEvent::User)
            return false;
        return ++seen == 1; // the first one is handled here
    };
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&counter);
    platform::Application->OnMessage = nullptr;
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(counter.delivered, 1);
}

class CountingForm final : public platform::TForm {
public:
    CountingForm() : TForm(Frame::Sizeable, QStringLiteral("t"))
    {
        OnShow = [this] {
            ++shows;
            visibleDuringShow = isVisible();
        };
        OnResize = [this] { ++resizes; };
    }
    int shows = 0;
    int resizes = 0;
    bool visibleDuringShow = true;
};

TEST(Forms, TheShowHandlerRunsBeforeEachShowingAndAShownWindowIsOnlyRaised)
{
    CountingForm form;
    form.Show();
    EXPECT_EQ(form.shows, 1);
    EXPECT_FALSE(form.visibleDuringShow);
    EXPECT_TRUE(form.isVisible());
    form.Show();
    EXPECT_EQ(form.shows, 1);
    form.Hide();
    form.Show();
    EXPECT_EQ(form.shows, 2);
}

TEST(Forms, ClientSizeSettersAreExactAndRaiseResizeOnlyOnAChange)
{
    for (bool visible : {false, true}) {
        SCOPED_TRACE(visible);
        CountingForm form;
        form.resize(100, 50);
        if (visible)
            form.Show();
        const int before = form.resizes;
        form.SetClientWidth(5);
        form.SetClientHeight(3);
        EXPECT_EQ(form.ClientWidth(), 5);
        EXPECT_EQ(form.ClientHeight(), 3);
        EXPECT_EQ(form.resizes - before, 2);
        form.SetClientWidth(5);
        EXPECT_EQ(form.resizes - before, 2);
        form.SetLeft(0);
        form.SetTop(0);
        EXPECT_EQ(form.pos(), QPoint(0, 0));
    }
}

using PictureWindow = AppFixture;

TEST_F(PictureWindow, ALeftDragAnywhereMovesTheWindow)
{
    // The offscreen platform has no window manager to move windows, so this
    // is the path that follows the pointer.
    Start({MakePicture(QStringLiteral("d.bmp"), 60, 40)});
    const QPoint start = form1->pos();
    QTest::mousePress(form1, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 25), QPointF(form1->mapToGlobal(QPoint(30, 25))),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(form1, &move);
    QTest::mouseRelease(form1, Qt::LeftButton, {}, QPoint(30, 25));
    EXPECT_EQ(form1->pos(), start + QPoint(20, 15));
}

TEST_F(PictureWindow, ARightClickRaisesThePopupMenu)
{
    Start({MakePicture(QStringLiteral("r.bmp"), 60, 40)});
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), form1->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(form1, &click);
    EXPECT_TRUE(form1->PopupMenu1->isVisible());
    form1->PopupMenu1->hide();
}

TEST_F(PictureWindow, TheWindowIsFramelessWithTheDesignedSettings)
{
    CreateForms({});
    EXPECT_TRUE(form1->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("Lumivane"));
    EXPECT_EQ(form1->pos(), QPoint(47, 2));
    EXPECT_EQ(form1->size(), QSize(187, 68));
    EXPECT_EQ(form2->windowTitle(), QStringLiteral("About Orvantis"));
    EXPECT_EQ(form3->windowTitle(), QStringLiteral("Lumivane Help"));
}

} // namespace

namespace {

TEST(Fonts, TheDesignedFacesResolveToTheirCloseSubstitutes)
{
    struct Case {
        const char *designed;
        QStringList acceptable;
    };
    const bool wineFonts = QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    for (const Case &c :
         {Case{"MS Sans Serif", wineFonts ? QStringList{"Tahoma"}
                                          : QStringList{"Liberation Sans", "DejaVu Sans"}},
          Case{"Arial", {"Liberation Sans"}}, Case{"Verdana", {"DejaVu Sans"}}}) {
        QFont font(QLatin1String(c.designed));
        font.setPixelSize(11);
        const QString resolved = QFontInfo(font).family();
        EXPECT_TRUE(c.acceptable.contains(resolved))
            << c.designed << " resolved to " << resolved.toStdString();
    }
}

} // namespace
