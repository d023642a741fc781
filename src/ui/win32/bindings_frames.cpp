// Panels and bevels: drawn on the form, around and under what lies in them.
#include "ui/win32/bindings.h"

namespace tkw {

namespace {

UINT EdgeOf(BevelCut outer, BevelCut inner) {
    UINT e = 0;
    if (outer == BevelCut::Raised) e |= BDR_RAISEDOUTER;
    if (outer == BevelCut::Lowered) e |= BDR_SUNKENOUTER;
    if (inner == BevelCut::Raised) e |= BDR_RAISEDINNER;
    if (inner == BevelCut::Lowered) e |= BDR_SUNKENINNER;
    return e;
}

}  // namespace

bool PanelBinding::Create(const BindingContext& ctx, int) {
    form_ = ctx.form;
    return true;
}

void PanelBinding::PaintOnForm(HDC dc) {
    if (Showing()) DrawPanel(dc, Rect(), panel_);
}

void DrawPanel(HDC dc, RECT r, const Panel& panel_) {
    if (panel_.SingleBorder) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
    }
    HBRUSH fill = panel_.ButtonFace ? GetSysColorBrush(COLOR_BTNFACE) : CreateSolidBrush(ToColorRef(panel_.Color));
    FillRect(dc, &r, fill);
    if (!panel_.ButtonFace) DeleteObject(fill);
    if (const UINT outer = EdgeOf(panel_.BevelOuter, BevelCut::None)) {
        DrawEdge(dc, &r, outer, BF_RECT);
        InflateRect(&r, -1, -1);
    }
    if (const UINT inner = EdgeOf(BevelCut::None, panel_.BevelInner)) DrawEdge(dc, &r, inner, BF_RECT);
}

void PanelBinding::Mirror() {
    // What lies in the panel follows its visibility; the host syncs those.
    if (form_) {
        RECT r = Rect();
        InvalidateRect(form_, &r, TRUE);
    }
}

bool BevelBinding::Create(const BindingContext&, int) { return true; }

void BevelBinding::PaintOnForm(HDC dc) {
    if (!Showing()) return;
    RECT r = Rect();
    DrawEdge(dc, &r, bevel_.Style == BevelCut::Raised ? EDGE_BUMP : EDGE_ETCHED, BF_RECT);
}

}  // namespace tkw
