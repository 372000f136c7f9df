// The window menu of the platform layer and the merger that mirrors a popup
// menu into it.

#include "AppTestSupport.h"

#include "controls/VelbrinSystemMenu.h"
#include "platform/Menus.h"
#include "platform/WindowMenu.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <memory>

using namespace platform;

namespace {

const std::vector<QString> kStandard = {
    "&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "-", "&Close\tAlt+F4"};

std::vector<QString> Texts(const TWindowMenu *menu)
{
    std::vector<QString> out;
    for (const TMenuEntry &e : menu->Entries())
        out.push_back(e.type & MFT_SEPARATOR ? QStringLiteral("-") : e.text);
    return out;
}

std::vector<QString> Join(std::vector<std::vector<QString>> parts)
{
    std::vector<QString> out;
    for (auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class SystemMenu : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        SetVersionForTest(0);
        host = std::make_unique<TForm>(TForm::Frame::None, QStringLiteral("host"));
        popup = new QMenu(host.get());
    }
    void TearDown() override
    {
        SetVersionForTest(0);
        host.reset();
        platform::Application->OnMessage = nullptr;
        AppFixture::TearDown();
    }

    QAction *Item(const QString &caption, int *clicks = nullptr)
    {
        return AddMenuItem(popup, caption, [clicks] { if (clicks) ++*clicks; });
    }

    TWindowMenu *Menu() { return GetSystemMenu(host.get(), false); }

    void Post(uint16_t id)
    {
        PostMessage(host.get(), WM_SYSCOMMAND, id, 0);
        QCoreApplication::processEvents();
    }

    std::unique_ptr<TForm> host;
    QMenu *popup = nullptr;
};

TEST_F(SystemMenu, TheWindowMenuIsOneMenuWithTheStandardCommands)
{
    TWindowMenu *menu = Menu();
    EXPECT_EQ(Menu(), menu);
    EXPECT_EQ(Texts(menu), kStandard);
    const std::vector<uint16_t> ids = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE};
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(menu->Entries()[i].id, ids[i]);
    EXPECT_EQ(menu->Entries()[6].id, SC_CLOSE);

    // Shown, a frameless window without a maximise box cannot be sized or
    // maximised, and a window in its normal state has nothing to restore.
    host->show();
    menu->Popup(QPoint(0, 0));
    ASSERT_TRUE(menu->Shown());
    std::vector<bool> enabled;
    for (QAction *a : menu->Shown()->actions())
        if (!a->isSeparator())
            enabled.push_back(a->isEnabled());
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, false, true, false, true}));
    menu->Shown()->close();
}

TEST_F(SystemMenu, OnlyEffectiveAssignmentsMergeAndMergesOnlyAdd)
{
    Item("One");
    Item("Two");
    auto *merger = new TVelbrinSystemMenu(host.get());
    EXPECT_EQ(merger->Position(), -1);
    merger->SetPosition(0); // no popup menu yet: fetches the menu, inserts nothing
    EXPECT_EQ(Texts(Menu()), kStandard);

    merger->SetPopupMenu(popup);
    const std::vector<QString> once = Join({{"One", "Two"}, kStandard});
    EXPECT_EQ(Texts(Menu()), once);
    merger->SetPopupMenu(popup);
    merger->SetPosition(0);
    EXPECT_EQ(Texts(Menu()), once);

    // A later merge inserts the items again; the first set stays.
    merger->SetPosition(-1);
    const std::vector<QString> appended = Join({once, {"One", "Two"}});
    EXPECT_EQ(Texts(Menu()), appended);
    merger->SetPosition(3);
    EXPECT_EQ(Texts(Menu()),
              Join({{"One", "Two", "&Restore", "One", "Two", "&Move", "&Size", "Mi&nimize",
                     "Ma&ximize", "-", "&Close\tAlt+F4", "One", "Two"}}));
}

TEST_F(SystemMenu, AHiddenItemIsLeftOutButKeepsItsIndex)
{
    Item("A");
    Item("B")->setVisible(false);
    Item("C");
    Item("-");
    auto *merger = new TVelbrinSystemMenu(host.get());
    merger->SetPosition(0);
    merger->SetPopupMenu(popup);
    // C goes to its own index 2, one place further down than without B;
    // the separator to index 3.
    EXPECT_EQ(Texts(Menu()), Join({{"A", "&Restore", "C", "-", "&Move", "&Size", "Mi&nimize",
                                    "Ma&ximize", "-", "&Close\tAlt+F4"}}));
    EXPECT_TRUE(Menu()->Entries()[3].type & MFT_SEPARATOR);
}

TEST_F(SystemMenu, BothInsertPathsCarryTheItemsLooks)
{
    QAction *sep = Item("-");
    QAction *radio = Item("Radio");
    radio->setCheckable(true);
    radio->setChecked(true);
    SetRadioItem(radio, true);
    QAction *dflt = Item("Default");
    popup->setDefaultAction(dflt);
    QAction *off = Item("Off");
    off->setEnabled(false);
    QAction *bar = Item("Bar");
    SetBreak(bar, TMenuBreak::mbBarBreak);
    QAction *col = Item("Column");
    SetBreak(col, TMenuBreak::mbBreak);
    QAction *keyed = Item("Save");
    keyed->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto *sub = new QMenu(popup);
    AddMenuItem(sub, "Inner");
    QAction *withSub = popup->addMenu(sub);
    withSub->setText("Sub");
    withSub->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U)); // ignored: it has sub-items

    struct Expect {
        QString text;
        uint32_t type, state;
        uint16_t id;
        QMenu *subMenu;
    };
    const auto run = [&](uint32_t version) {
        SCOPED_TRACE(version);
        SetVersionForTest(version);
        GetSystemMenu(host.get(), true);
        TVelbrinSystemMenu merger(host.get());
        merger.SetPosition(0);
        merger.SetPopupMenu(popup);
        const bool modern = version >= 4;
        const std::vector<Expect> expected = {
            {"", MFT_SEPARATOR, 0, CommandOf(sep), nullptr},
            {"Radio", modern ? MFT_RADIOCHECK : 0, MFS_CHECKED, CommandOf(radio), nullptr},
            {"Default", 0, modern ? MFS_DEFAULT : 0, CommandOf(dflt), nullptr},
            {"Off", 0, MFS_GRAYED, CommandOf(off), nullptr},
            {"Bar", MFT_MENUBARBREAK, 0, CommandOf(bar), nullptr},
            {"Column", MFT_MENUBREAK, 0, CommandOf(col), nullptr},
            {"Save\tCtrl+S", 0, 0, CommandOf(keyed), nullptr},
            {"Sub", 0, 0, modern ? CommandOf(withSub) : uint16_t(0), sub},
        };
        const auto &entries = Menu()->Entries();
        ASSERT_EQ(entries.size(), expected.size() + kStandard.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(expected[i].text.toStdString());
            EXPECT_EQ(entries[i].text, expected[i].text);
            EXPECT_EQ(entries[i].type, expected[i].type);
            EXPECT_EQ(entries[i].state, expected[i].state);
            EXPECT_EQ(entries[i].id, expected[i].id);
            EXPECT_EQ(entries[i].subMenu, expected[i].subMenu); // shared, not copied
        }
    };
    run(3);
    run(4);
    run(0x0A);
}

TEST_F(SystemMenu, AChosenEntryClicksItsItemOnceAndGoesNoFurther)
{
    int clicks = 0;
    QAction *item = Item("Minimise-alike", &clicks);
    // Sharing its id with a standard command shows whether the window got
    // the command as well.
    SetCommandForTest(item, SC_MINIMIZE);
    auto *merger = new TVelbrinSystemMenu(host.get());
    merger->SetPopupMenu(popup);
    merger->Loaded();
    host->show();
    Post(SC_MINIMIZE);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(host->isMinimized());
}

TEST_F(SystemMenu, ACommandOfNoItemReachesTheWindow)
{
    int clicks = 0;
    Item("Help", &clicks);
    auto *merger = new TVelbrinSystemMenu(host.get());
    merger->SetPopupMenu(popup);
    merger->Loaded();
    host->show();
    Post(0x1234); // no item, no standard command: nothing happens
    EXPECT_TRUE(host->isVisible());
    Post(SC_CLOSE);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(host->isVisible());
}

TEST_F(SystemMenu, AMatchInASubMenuEndsTheSearch)
{
    int inner = 0, later = 0;
    auto *sub = new QMenu(popup);
    QAction *innerItem = AddMenuItem(sub, "Inner", [&] { ++inner; });
    popup->addMenu(sub)->setText("Sub");
    QAction *laterItem = Item("Later", &later);
    SetCommandForTest(innerItem, 700);
    SetCommandForTest(laterItem, 700);
    TVelbrinSystemMenu merger(host.get());
    merger.SetPopupMenu(popup);
    EXPECT_TRUE(merger.ClickByCommand(popup, 700));
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(later, 0);
    EXPECT_FALSE(merger.ClickByCommand(popup, 701));
    // The whole 16-bit id counts; the upper half of the word does not.
    TMsg msg;
    msg.message = WM_SYSCOMMAND;
    msg.wParam = 0x70000 | 700;
    EXPECT_TRUE(merger.DispatchSysCommand(msg));
    EXPECT_EQ(inner, 2);
}

TEST_F(SystemMenu, AnEntryOfASharedSubMenuIsRoutedToItsItem)
{
    int inner = 0;
    auto *sub = new QMenu(popup);
    AddMenuItem(sub, "Inner", [&] { ++inner; });
    popup->addMenu(sub)->setText("Sub");
    auto *merger = new TVelbrinSystemMenu(host.get());
    merger->SetPosition(0);
    merger->SetPopupMenu(popup);
    merger->Loaded();
    host->show();
    Menu()->Popup(QPoint(0, 0));
    QMenu *shownSub = Menu()->Shown()->actions().front()->menu();
    ASSERT_TRUE(shownSub);
    ASSERT_EQ(shownSub->actions().size(), 1);
    shownSub->actions().front()->trigger();
    EXPECT_EQ(inner, 0); // only once the message has come through the queue
    QCoreApplication::processEvents();
    EXPECT_EQ(inner, 1);
}

TEST_F(SystemMenu, TheHookCallsTheSavedOneFirstAndDestructionPutsItBack)
{
    int clicks = 0;
    QAction *item = Item("Help", &clicks);
    int seen = 0;
    bool swallow = false;
    const auto earlier = [&](QObject *, QEvent *e) {
        if (e->type() == TMessageEvent::EventType())
            ++seen;
        return swallow && e->type() == TMessageEvent::EventType();
    };
    platform::Application->OnMessage = earlier;
    auto *merger = new TVelbrinSystemMenu(host.get());
    merger->SetPopupMenu(popup);
    merger->Loaded();
    Post(CommandOf(item));
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(clicks, 1);
    swallow = true; // handled by the earlier hook: nothing is clicked
    Post(CommandOf(item));
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(clicks, 1);

    // A hook installed after the merger's is dropped by its destruction.
    platform::Application->OnMessage = [](QObject *, QEvent *) { return false; };
    delete merger;
    swallow = false;
    Post(CommandOf(item));
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(clicks, 1);

    // One that never installed its hook leaves none at all.
    { TVelbrinSystemMenu never(host.get()); }
    EXPECT_FALSE(platform::Application->OnMessage);
}

TEST_F(SystemMenu, AnOwnerThatIsNoFormFailsBeforeAnythingIsInserted)
{
    Item("Help");
    QObject notAForm;
    TVelbrinSystemMenu merger(&notAForm);
    EXPECT_THROW(merger.SetPopupMenu(popup), std::runtime_error);
    EXPECT_THROW(merger.SetPosition(0), std::runtime_error);
    TVelbrinSystemMenu orphan(nullptr);
    EXPECT_THROW(orphan.SetPosition(0), std::runtime_error);
}

using PictureWindowMenu = AppFixture;

TEST_F(PictureWindowMenu, HoldsThePopupItemsOnceAtTheTopAndRoutesThemBack)
{
    Start({MakePicture(QStringLiteral("w.bmp"), 8, 8)});
    TWindowMenu *menu = GetSystemMenu(form1, false);
    EXPECT_EQ(Texts(menu), Join({{"Help", "About", "-", "Be Silent", "Make Noise", "-"}, kStandard}));
    for (int i : {3, 4}) {
        EXPECT_EQ(menu->Entries()[i].type, MFT_RADIOCHECK); // radio items, never checked
        EXPECT_EQ(menu->Entries()[i].state, 0u);
    }

    // Alt+Space opens it; its first entry shows the help window.
    form1->activateWindow();
    QApplication::setActiveWindow(form1);
    QCoreApplication::processEvents();
    QTest::keyClick(form1, Qt::Key_Space, Qt::AltModifier);
    ASSERT_TRUE(menu->Shown());
    ASSERT_TRUE(menu->Shown()->isVisible());
    sink.played.clear();
    menu->Shown()->actions().front()->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form3->isVisible());
    EXPECT_EQ(CueNames(), std::vector<QString>{QStringLiteral("REXIT")});

    // Close, a standard command, reaches the main window: a stop request.
    EXPECT_FALSE(platform::Application->Terminated());
    PostMessage(form1, WM_SYSCOMMAND, SC_CLOSE, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_TRUE(errors.empty());
}

} // namespace
