// The help page and the about window.

#include "AppTestSupport.h"

#include "controls/Line.h"
#include "platform/Memo.h"

#include <QLabel>
#include <QPushButton>
#include <QExposeEvent>
#include <QTest>
#include <QWindow>

namespace {

using HelpWindow = AppFixture;

TEST_F(HelpWindow, HoldsTheAnnotatedPageAsDesigned)
{
    CreateForms({});
    EXPECT_EQ(form3->windowTitle(), QStringLiteral("Lumivane Help"));
    EXPECT_TRUE(form3->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form3->pos(), QPoint(182, 178));
    EXPECT_EQ(form3->Image2->geometry(), QRect(24, 16, 150, 112));
    EXPECT_EQ(form3->Image1->geometry(), QRect(144, 112, 303, 201));
    EXPECT_EQ(form3->Button1->geometry(), QRect(544, 12, 79, 25));
    EXPECT_EQ(form3->Button1->text(), QStringLiteral("Close Help"));

    struct LabelCase {
        QLabel *label;
        QRect designed;
        QString text;
    };
    const std::vector<LabelCase> labels = {
        {form3->Label1, {228, 40, 310, 64},
         "Look Ma.  No Scrollbars!  The actual-sized image you are editing appears on the "
         "screen behind the Lumivane Control Panel.  It can be dragged around like a piece of "
         "cardboard with your mouse."},
        {form3->Label2, {156, 344, 425, 48},
         "This allows you to temporarily save the settings in two Memory Banks: A and B.  "
         "Adjust the sliders then press it.  The sliders will return to their respective "
         "initial states.  Then you can change sliders again for bank B."},
        {form3->Label3, {20, 256, 93, 64},
         "Resets all knobs to zero state and clears all memories."},
        {form3->Label4, {476, 160, 135, 112},
         "These sliders mimic television control knobs and in real-time change a duplicate of "
         "your image.  Nothing is permanent until you save however."},
    };
    for (const LabelCase &c : labels) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        EXPECT_EQ(c.label->text(), c.text);
        EXPECT_EQ(c.label->pos(), c.designed.topLeft());
        EXPECT_EQ(c.label->width(), c.designed.width());
        // The height follows the wrapped text: a line or so of the design.
        EXPECT_EQ(c.label->height(), c.label->heightForWidth(c.designed.width()));
        EXPECT_NEAR(c.label->height(), c.designed.height(), 16);
        EXPECT_EQ(c.label->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(c.label->font().pixelSize(), 13);
        EXPECT_TRUE(c.label->wordWrap());
    }
}

TEST_F(HelpWindow, TheLinesJoinWhatTheyJoinAndLabelsLieOnTop)
{
    CreateForms({});
    const QImage page = form3->Client()->grab().toImage();
    const auto black = [&](int x, int y) { return page.pixel(x, y) == qRgb(0, 0, 0); };
    // Line4 from the photograph to Label1, over the photograph's edge.
    for (int x = 140; x <= 224; ++x)
        EXPECT_TRUE(black(x, 68)) << x;
    EXPECT_FALSE(black(225, 68));
    // Line1 from the sliders in the panel's picture to Label4.
    for (int x = 296; x <= 475; ++x)
        EXPECT_TRUE(black(x, 216)) << x;
    // Line3: Label3 covers its first pixels.
    const int label3Right = form3->Label3->geometry().right();
    for (int x = 100; x <= label3Right; ++x)
        EXPECT_FALSE(black(x, 296)) << x;
    for (int x = label3Right + 1; x <= 164; ++x)
        EXPECT_TRUE(black(x, 296)) << x;
    // Line2 down from the Memory A<>B button to Label2.
    for (int y = 296; y < 344; ++y)
        EXPECT_TRUE(black(358, y)) << y;
}

TEST_F(HelpWindow, CloseHelpAndTheCloseBoxHideItAndItComesBackWhereItWasLeft)
{
    Start({MakePicture(QStringLiteral("h.bmp"), 8, 8)});
    form1->Help1->trigger();
    form1->Help1->trigger(); // already open: still one window, still open
    ASSERT_TRUE(form3->isVisible());
    form3->move(300, 250);
    QTest::mouseClick(form3->Button1, Qt::LeftButton);
    EXPECT_FALSE(form3->isVisible());
    form4->Help1->trigger();
    EXPECT_TRUE(form3->isVisible());
    EXPECT_EQ(form3->pos(), QPoint(300, 250));
    form3->close();
    EXPECT_FALSE(form3->isVisible());
    EXPECT_FALSE(platform::Application->Terminated());
}

using AboutWindow = AppFixture;

TEST_F(AboutWindow, HoldsTheProductTextsInTheirOrderAndTheTerms)
{
    CreateForms({});
    EXPECT_EQ(form2->windowTitle(), QStringLiteral("About Orvantis"));
    EXPECT_EQ(form2->size(), QSize(474, 447));
    EXPECT_TRUE(form2->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form2->OKButton1->text(), QStringLiteral("Yes I Agree. [OK]"));
    EXPECT_TRUE(form2->OKButton1->isDefault());
    EXPECT_TRUE(form2->OKButton1->font().bold());
    EXPECT_EQ(form2->Button1->text(), QStringLiteral("No. I Don't Agree."));
    EXPECT_TRUE(form2->Memo1->isReadOnly());
    EXPECT_FALSE(form2->Memo1->toolTip().isEmpty());
    EXPECT_EQ(form2->Image1->geometry(), QRect(-4, 0, 481, 133));

    // Top to bottom: family and product, version, freeware, copyright, mail.
    std::vector<QLabel *> texts = {form2->StaticText1, form2->StaticText2, form2->StaticText4,
                                   form2->StaticText3, form2->StaticText5};
    for (size_t i = 1; i < texts.size(); ++i)
        EXPECT_LT(texts[i - 1]->y(), texts[i]->y());
    EXPECT_EQ(texts[0]->text(), QStringLiteral("Orvantis: Lumivane"));
    EXPECT_TRUE(texts[1]->text().startsWith(QStringLiteral("Version 1.0.0, build ")));
    EXPECT_TRUE(texts[2]->text().contains(QStringLiteral("Freeware")));
    EXPECT_TRUE(texts[3]->text().startsWith(QStringLiteral("Copyright")));
    EXPECT_TRUE(texts[4]->text().contains(QLatin1Char('@')));
    for (QLabel *t : texts)
        EXPECT_EQ(t->font().family(), QStringLiteral("Verdana"));
}

TEST_F(AboutWindow, ShownItHasTheFocusInTheTermsWhichKeepReturn)
{
    Start({MakePicture(QStringLiteral("a.bmp"), 8, 8)});
    form1->About1->trigger();
    ASSERT_TRUE(form2->isVisible());
    QTRY_VERIFY(form2->Memo1->hasFocus());
    EXPECT_TRUE(form2->isActiveWindow());
    // Return in the terms presses no button; the terms stay as they were.
    const QString terms = form2->Memo1->toPlainText();
    QTest::keyClick(form2->Memo1, Qt::Key_Return);
    QTest::keyClicks(form2->Memo1, QStringLiteral("x"));
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->Memo1->toPlainText(), terms);
    // Return elsewhere presses the default button, which closes the window.
    form2->Image1->setFocusPolicy(Qt::StrongFocus);
    form2->Image1->setFocus();
    QTest::keyClick(form2->Image1, Qt::Key_Return);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(platform::Application->Terminated());
}

TEST_F(AboutWindow, ThePaintTakesTheFocusBackIntoTheTerms)
{
    Start({MakePicture(QStringLiteral("p.bmp"), 8, 8)});
    form1->About1->trigger();
    QTRY_VERIFY(form2->Memo1->hasFocus());
    form2->Button1->setFocus();
    EXPECT_FALSE(form2->Memo1->hasFocus());
    // A control's own repaint leaves the focus where it is (a button being
    // clicked keeps it); the window system's paint takes it back.
    form2->Button1->repaint();
    EXPECT_TRUE(form2->Button1->hasFocus());
    QExposeEvent expose{QRegion(form2->rect())};
    QCoreApplication::sendEvent(form2->windowHandle(), &expose);
    EXPECT_TRUE(form2->Memo1->hasFocus());
}

TEST_F(AboutWindow, DisagreeingEndsTheProgramAndTheCloseBoxOnlyHides)
{
    Start({MakePicture(QStringLiteral("d.bmp"), 8, 8)});
    form1->About1->trigger();
    form2->close();
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(platform::Application->Terminated());
    form4->About1->trigger();
    ASSERT_TRUE(form2->isVisible());
    QTest::mouseClick(form2->OKButton1, Qt::LeftButton);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(platform::Application->Terminated());
    form4->About1->trigger();
    QTest::mouseClick(form2->Button1, Qt::LeftButton);
    EXPECT_TRUE(platform::Application->Terminated());
}

} // namespace
