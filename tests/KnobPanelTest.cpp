// The knob panel: what a slider change renders, the slider rules, Reset
// and Memory A<>B with their render counts.

#include "AppTestSupport.h"

#include <QLabel>
#include <QPushButton>

namespace {

using KnobPanel = AppFixture;

// Composite as a change must call it, with the knob values already turned
// into Composite's arguments by hand.
std::vector<uint8_t> ExpectedRender(const QString &path, int32_t cx, int32_t cy, int32_t red,
                                    int32_t green, int32_t blue, int32_t brightness,
                                    float contrast, float intensity, int32_t effect)
{
    auto source = LoadSurface(path);
    auto dest = LoadSurface(path);
    dest->Composite(*source, cx, cy, 0.0f, 1.0f, 1.0f, 0.0f, 0, 0, -256, brightness, contrast,
                    intensity, red, green, blue, effect, 1, 0, 0, 0, 0);
    return PixelsOf(*dest);
}

TEST_F(KnobPanel, AChangeRendersWithAllSevenValuesAndTheSourceCentre)
{
    // 5 x 3: the centre is (2, 1); any other centre shifts the picture.
    const QString path = MakePicture(QStringLiteral("k.bmp"), 5, 3);
    struct Case {
        std::array<int, 7> knobs;
        float contrast;
        float intensity;
    };
    const Case cases[] = {
        {{10, -20, 30, 5, 0, 0, 0}, 1.0f, 0.0f},
        {{0, 0, 0, 0, 1024, 0, 0}, 3.0f, 0.0f},
        {{0, 0, 0, 0, -1024, 0, 0}, -1.0f, 0.0f},
        {{0, 0, 0, 0, 0, 2048, 0}, 1.0f, 4.0f},
        {{0, 0, 0, 0, 0, -2048, 0}, 1.0f, -4.0f},
        {{0, 0, 0, 0, 0, 1, 0}, 1.0f, 0.001953125f},
        {{-255, 255, -7, -255, 300, -700, 3}, 300.0f / 512.0f + 1.0f, -700.0f / 512.0f},
        {{40, 0, 0, 0, 0, 0, -128}, 1.0f, 0.0f},
        {{0, 0, 0, 0, 0, 0, 5}, 1.0f, 0.0f},
    };
    Start({path});
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.knobs));
        SetKnobs(c.knobs);
        // Move one slider away and back: the final render must use all seven.
        form4->ScrollBar1->SetPosition(c.knobs[0] == 0 ? 1 : 0);
        form4->ScrollBar1->SetPosition(c.knobs[0]);
        const auto k = c.knobs;
        EXPECT_EQ(PixelsOf(*State.WorkingSurface),
                  ExpectedRender(path, 2, 1, k[0], k[1], k[2], k[3], c.contrast, c.intensity, k[6]));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(KnobPanel, SlidersClampAndRenderOnlyWhenThePositionReallyChanges)
{
    Start({MakePicture(QStringLiteral("c.bmp"), 8, 8)});
    struct Range {
        platform::TScrollBar *bar;
        int min, max;
    };
    for (const Range &r : {Range{form4->ScrollBar1, -255, 255}, Range{form4->ScrollBar2, -255, 255},
                           Range{form4->ScrollBar3, -255, 255}, Range{form4->ScrollBar4, -255, 255},
                           Range{form4->ScrollBar5, -1024, 1024}, Range{form4->ScrollBar6, -2048, 2048},
                           Range{form4->ScrollBar7, -128, 5}}) {
        EXPECT_EQ(r.bar->minimum(), r.min);
        EXPECT_EQ(r.bar->maximum(), r.max);
        EXPECT_EQ(r.bar->Position(), 0);
        EXPECT_EQ(r.bar->singleStep(), 1);
        EXPECT_EQ(r.bar->pageStep(), 1);
        const int before = form4->RenderCount();
        r.bar->SetPosition(r.max + 1000);
        EXPECT_EQ(r.bar->Position(), r.max);
        r.bar->SetPosition(r.max); // the same position: nothing happens
        r.bar->SetPosition(r.min - 1000);
        EXPECT_EQ(r.bar->Position(), r.min);
        EXPECT_EQ(form4->RenderCount(), before + 2);
    }
    // The user's steps go through the same change event.
    const int before = form4->RenderCount();
    form4->ScrollBar1->SetPosition(0);
    form4->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    form4->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form4->ScrollBar1->Position(), 2);
    EXPECT_EQ(form4->RenderCount(), before + 3);
}

TEST_F(KnobPanel, TheDesignPlacesTheControls)
{
    CreateForms({});
    EXPECT_EQ(form4->windowTitle(), QStringLiteral("Lumivane"));
    EXPECT_EQ(form4->ClientWidth(), 295);
    EXPECT_EQ(form4->ClientHeight(), 148);
    EXPECT_TRUE(form4->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form4->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    const auto bars = form4->ScrollBars();
    QLabel *labels[] = {form4->Label1, form4->Label2, form4->Label3, form4->Label4,
                        form4->Label5, form4->Label6, form4->Label7};
    const char *captions[] = {"Red Tint", "Green Tint", "Blue Tint", "Brightness",
                              "Contrast", "Intensity", "SmoothFX"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(bars[i]->geometry(), QRect(0, 16 * i, 233, 17));
        EXPECT_EQ(bars[i]->orientation(), Qt::Horizontal);
        EXPECT_EQ(labels[i]->text(), QLatin1String(captions[i]));
        EXPECT_EQ(labels[i]->pos(), QPoint(240, 16 * i + 4));
        EXPECT_EQ(labels[i]->height(), 13);
    }
    EXPECT_EQ(form4->Button1->text(), QStringLiteral("Reset"));
    EXPECT_EQ(form4->Button1->geometry(), QRect(4, 120, 137, 25));
    EXPECT_EQ(form4->Button2->text(), QStringLiteral("Memory A<>B"));
    EXPECT_EQ(form4->Button2->geometry(), QRect(144, 120, 137, 25));
}

TEST_F(KnobPanel, ResetAndMemoryRenderOncePerSliderThatMoves)
{
    using KnobSet = std::array<int, 7>;
    using Bank = std::array<int32_t, 7>;
    Start({MakePicture(QStringLiteral("m.bmp"), 6, 5)});

    struct Step {
        const char *what;
        std::function<void()> act;
        KnobSet knobsAfter;
        Bank bankAfter;
        int renders;
    };
    const KnobSet start = {3, 0, -4, 0, 100, 0, -2};
    const std::vector<Step> steps = {
        // The first Memory A<>B of a run zeroes the sliders and keeps them.
        {"memory", [&] { form4->Button2Click(); }, {}, {3, 0, -4, 0, 100, 0, -2}, 4},
        {"memory again restores", [&] { form4->Button2Click(); }, start, {}, 4},
        {"memory with one slot equal",
         [&] {
             State.MemoryBank = {3, 1, 1, 1, 1, 1, 1};
             form4->Button2Click();
         },
         {3, 1, 1, 1, 1, 1, 1}, {3, 0, -4, 0, 100, 0, -2}, 6},
        {"reset", [&] { form4->Button1Click(); }, {}, {}, 7},
        {"reset at zero", [&] { form4->Button1Click(); }, {}, {}, 0},
        {"memory after reset", [&] { form4->Button2Click(); }, {}, {}, 0},
        {"reset with contrast alone away from zero",
         [&] {
             form4->ScrollBar5->SetPosition(-9);
             form4->Button1Click();
         },
         {}, {}, 2}, // the set, then the reset
    };
    SetKnobs(start);
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        const int before = form4->RenderCount();
        sink.played.clear();
        s.act();
        EXPECT_EQ(Knobs(), s.knobsAfter);
        EXPECT_EQ(State.MemoryBank, s.bankAfter);
        EXPECT_EQ(form4->RenderCount() - before, s.renders);
        ASSERT_FALSE(sink.played.empty());
        // The cue comes before any knob moves.
        EXPECT_EQ(sink.played.front(), (PlayedCue{QStringLiteral("RPOP"), false}));
    }
}

TEST_F(KnobPanel, MemoryRendersEachStepWithTheSlidersSwappedSoFar)
{
    const QString path = MakePicture(QStringLiteral("s.bmp"), 4, 4);
    Start({path});
    SetKnobs({20, 30, 0, 0, 0, 0, 0});
    State.MemoryBank = {-5, -6, 0, 0, 0, 0, 0};
    // Snapshot the working surface at every render the swap makes.
    std::vector<std::vector<uint8_t>> renders;
    const auto render = form4->ScrollBar1->OnChange;
    for (platform::TScrollBar *bar : form4->ScrollBars())
        bar->OnChange = [&, render] {
            render();
            renders.push_back(PixelsOf(*State.WorkingSurface));
        };
    form4->Button2Click();
    ASSERT_EQ(renders.size(), 2u);
    EXPECT_EQ(renders[0], ExpectedRender(path, 2, 2, -5, 30, 0, 0, 1.0f, 0.0f, 0));
    EXPECT_EQ(renders[1], ExpectedRender(path, 2, 2, -5, -6, 0, 0, 1.0f, 0.0f, 0));
}

} // namespace
