#include "gui/images.h"

#include "core/state/app_state.h"
#include "gui/gui_util.h"

namespace pellora::gui {

namespace {

constexpr COLORREF kMask = RGB(255, 0, 255);

// Draws on a 16-unit grid scaled to `size` pixels.
class Painter {
public:
    Painter(HDC dc, int size) : dc_(dc), size_(size) {}
    int P(int units) const { return MulDiv(units, size_, 16); }
    void Box(int l, int t, int r, int b, COLORREF fill, COLORREF line) { Shape(false, l, t, r, b, fill, line); }
    void Round(int l, int t, int r, int b, COLORREF fill, COLORREF line) { Shape(true, l, t, r, b, fill, line); }
    void Fill(int l, int t, int r, int b, COLORREF fill) {
        RECT rect{P(l), P(t), P(r), P(b)};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc_, &rect, brush);
        DeleteObject(brush);
    }

private:
    void Shape(bool round, int l, int t, int r, int b, COLORREF fill, COLORREF line) {
        HBRUSH brush = CreateSolidBrush(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, line);
        HGDIOBJ oldBrush = SelectObject(dc_, brush);
        HGDIOBJ oldPen = SelectObject(dc_, pen);
        if (round) {
            Ellipse(dc_, P(l), P(t), P(r), P(b));
        } else {
            Rectangle(dc_, P(l), P(t), P(r), P(b));
        }
        SelectObject(dc_, oldBrush);
        SelectObject(dc_, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    }

    HDC dc_;
    int size_;
};

void DrawImage(Painter& p, int image) {
    switch (image) {
        case kImageFile:
            p.Box(3, 1, 13, 15, RGB(255, 255, 255), RGB(110, 110, 110));
            for (int y = 5; y <= 11; y += 3) p.Fill(5, y, 11, y + 1, RGB(150, 150, 170));
            break;
        case kImageFolder:
            p.Box(1, 3, 8, 6, RGB(232, 180, 60), RGB(170, 120, 20));
            p.Box(1, 5, 15, 14, RGB(250, 205, 90), RGB(170, 120, 20));
            break;
        case kImageProgram:
            p.Box(1, 2, 15, 14, RGB(255, 255, 255), RGB(60, 80, 120));
            p.Fill(2, 3, 14, 6, RGB(50, 100, 190));
            p.Fill(10, 4, 13, 5, RGB(255, 255, 255));
            break;
        case kImageRegKey:
            p.Box(2, 4, 12, 14, RGB(70, 150, 140), RGB(30, 90, 80));
            p.Box(5, 1, 15, 11, RGB(110, 190, 180), RGB(30, 90, 80));
            break;
        case kImageRegVal:
            p.Box(1, 3, 15, 13, RGB(255, 255, 255), RGB(100, 100, 140));
            p.Fill(3, 6, 7, 10, RGB(200, 60, 60));
            p.Fill(9, 6, 13, 10, RGB(60, 90, 200));
            break;
        case kImageCookie:
            p.Round(1, 1, 15, 15, RGB(200, 150, 90), RGB(140, 95, 45));
            p.Fill(5, 5, 7, 7, RGB(90, 55, 25));
            p.Fill(9, 8, 11, 10, RGB(90, 55, 25));
            p.Fill(6, 10, 8, 12, RGB(90, 55, 25));
            break;
        default:  // the quarantine package
            p.Box(1, 5, 15, 15, RGB(190, 130, 70), RGB(110, 70, 30));
            p.Box(0, 2, 16, 6, RGB(215, 155, 90), RGB(110, 70, 30));
            p.Fill(7, 6, 9, 15, RGB(110, 70, 30));
            break;
    }
}

HIMAGELIST CreateImages(int dpi, const int* images, int count) {
    const int size = Scale(16, dpi);
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count, 0);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (int i = 0; i < count; ++i) {
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, size, size};
        HBRUSH mask = CreateSolidBrush(kMask);
        FillRect(dc, &all, mask);
        DeleteObject(mask);
        Painter painter(dc, size);
        DrawImage(painter, images[i]);
        SelectObject(dc, old);
        ImageList_AddMasked(list, bitmap, kMask);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return list;
}

}  // namespace

HIMAGELIST CreateObjectImages(int dpi) {
    static const int kImages[] = {kImageFile, kImageFolder, kImageProgram, kImageRegKey, kImageRegVal, kImageCookie};
    return CreateImages(dpi, kImages, 6);
}

HIMAGELIST CreateQuarantineImages(int dpi) {
    static const int kImages[] = {0};
    return CreateImages(dpi, kImages, 1);
}

}  // namespace pellora::gui
