// Composite: draws a source surface onto this one with its centre at a
// point, adjusting every pixel's colour, optionally applying a per-pixel
// effect, skipping a colour key and mixing the result with what is already
// there. This file holds the steps common to both drawing paths and the
// untransformed (one-to-one) path, the reference for any faster variant.

#include "imaging/BlendChannel.h"
#include "imaging/CompositeCall.h"
#include "imaging/FastComposite.h"
#include "imaging/NoiseGenerator.h"
#include "imaging/Win.h"

#include <algorithm>

bool UntransformedArea(const TWin &dest, const TWin &source, const CompositeCall &c, Area &a)
{
    const int64_t halfW = source.width() / 2;
    const int64_t halfH = source.height() / 2;
    const int64_t dW = dest.width();
    const int64_t dH = dest.height();
    const int64_t left = int64_t(c.CenterX) - halfW;
    const int64_t top = int64_t(c.CenterY) - halfH;

    // Edges never reach past the source's placed rectangle, so even crops
    // below 0 read nothing outside the source.
    const int64_t x0 = std::max<int64_t>({left + c.CropLeft, left, 0});
    if (x0 >= dW)
        return false;
    const int64_t y0 = std::max<int64_t>({top + c.CropTop, top, 0});
    if (y0 >= dH)
        return false;
    const int64_t x1 = std::min<int64_t>({int64_t(c.CenterX) + halfW - c.CropRight,
                                          int64_t(c.CenterX) + halfW, dW});
    if (x1 <= 0)
        return false;
    const int64_t y1 = std::min<int64_t>({int64_t(c.CenterY) + halfH - c.CropBottom,
                                          int64_t(c.CenterY) + halfH, dH});
    if (y1 <= 0)
        return false;
    a = {int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1), int32_t(x0 - left),
         int32_t(y0 - top)};
    return true;
}

void CompositeUntransformed(TWin &dest, TWin &source, const CompositeCall &c)
{
    Area a;
    if (!UntransformedArea(dest, source, c, a))
        return;

    const TintTerms tint = MakeTintTerms(c);
    int32_t prevB = c.firstB, prevG = c.firstG, prevR = c.firstR;

    for (int32_t y = a.y0; y < a.y1; ++y) {
        dest.SeekRow(a.x0, y, 3);
        source.SeekRow(a.sx0, a.sy0 + (y - a.y0), 3);
        for (int32_t x = a.x0; x < a.x1; ++x) {
            int32_t B = source.RowBlue();
            int32_t G = source.RowGreen();
            int32_t R = source.RowRedAdvance();
            if (c.keyed && B == c.firstB && G == c.firstG && R == c.firstR) {
                dest.RowCursor += dest.RowStep;
                continue;
            }
            const int32_t grey = (B + G + R) / 3;

            switch (c.Effect) {
            case 0:
                break;
            case 1:
                B = G = R = NoiseGenerator::Next();
                break;
            case 2:
                B = NoiseGenerator::Next();
                G = NoiseGenerator::Next();
                R = NoiseGenerator::Next();
                break;
            case 3:
                B = 255 - B;
                G = 255 - G;
                R = 255 - R;
                break;
            case 4:
                B = G = R = 0;
                break;
            case 5:
                B = ((255 - B) + prevB) / 2;
                G = ((255 - G) + prevG) / 2;
                R = ((255 - R) + prevR) / 2;
                break;
            default:
                if (c.Effect >= -128 && c.Effect <= -1) {
                    B = BlendChannel(prevB, B, c.Effect + 128, 0);
                    G = BlendChannel(prevG, G, c.Effect + 128, 0);
                    R = BlendChannel(prevR, R, c.Effect + 128, 0);
                }
                break;
            }

            uint8_t *px = dest.RowCursor;
            px[0] = uint8_t(BlendChannel(px[0], AdjustChannel(B, grey, tint.blue, c.Contrast, c.Intensity),
                                         c.level, c.Clamp));
            px[1] = uint8_t(BlendChannel(px[1], AdjustChannel(G, grey, tint.green, c.Contrast, c.Intensity),
                                         c.level, c.Clamp));
            px[2] = uint8_t(BlendChannel(px[2], AdjustChannel(R, grey, tint.red, c.Contrast, c.Intensity),
                                         c.level, c.Clamp));
            prevB = B;
            prevG = G;
            prevR = R;
            dest.RowCursor += dest.RowStep;
        }
    }
}

void TWin::Composite(TWin &Source, int32_t CenterX, int32_t CenterY, float Angle, float ScaleX,
                     float ScaleY, float ScaleDrift, int32_t PivotX, int32_t PivotY,
                     int32_t AlphaMode, int32_t Brightness, float Contrast, float Intensity,
                     int32_t RedTint, int32_t GreenTint, int32_t BlueTint, int32_t Effect,
                     int32_t Clamp, int32_t CropLeft, int32_t CropTop, int32_t CropRight,
                     int32_t CropBottom)
{
    CompositeCall c{CenterX,   CenterY,   Angle,   ScaleX,    ScaleY,   ScaleDrift,
                    PivotX,    PivotY,    AlphaMode, Brightness, Contrast, Intensity,
                    RedTint,   GreenTint, BlueTint, Effect,    Clamp,    CropLeft,
                    CropTop,   CropRight, CropBottom};

    const int64_t scaleX = TruncToInt64(ScaleX);
    const int64_t scaleY = TruncToInt64(ScaleY);
    if ((scaleX | scaleY | int64_t(AlphaMode)) == 0)
        return;
    // A source without pixels has no pixel (0, 0) to read, and nothing to draw.
    if (Source.empty() || Source.width() <= 0 || Source.height() <= 0)
        return;

    c.firstB = Source.ReadPixel(0, 0);
    c.firstG = Source.ReadGreen();
    c.firstR = Source.ReadRed();

    if (AlphaMode >= -256 && AlphaMode <= -129) {
        c.level = -AlphaMode - 128;
        c.fullScan = true;
    } else if (AlphaMode >= -128 && AlphaMode <= -1) {
        c.level = -AlphaMode;
    } else if (AlphaMode >= 1 && AlphaMode <= 128) {
        c.level = AlphaMode;
        c.keyed = true;
    } else if (AlphaMode >= 129 && AlphaMode <= 256) {
        c.level = AlphaMode - 128;
        c.keyed = true;
        c.fullScan = true;
    } else {
        return; // 0, or beyond +-256
    }

    const bool oneToOne = (scaleX | scaleY) == 1 && TruncToInt64(Angle) == 0 &&
                          TruncToInt64(ScaleDrift) == 0 && PivotX == 0 && PivotY == 0 &&
                          Clamp >= 0;
    // The knob panel's kind of call has an exact fast path; the faithful
    // loop draws everything else.
    if (oneToOne) {
        if (!CompositeUntransformedFast(*this, Source, c))
            CompositeUntransformed(*this, Source, c);
    } else
        CompositeTransformed(*this, Source, c);
}
