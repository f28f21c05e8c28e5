#include "gui/PageControl.h"

#include "gui/Native.h"

#include <commctrl.h>

#include <algorithm>

#include "gui/Application.h"

namespace gui {

void PageControl::Create(Control& parent, const PageControlDesc& desc) {
    font_ = desc.font;
    Attach(&parent, desc.bounds, desc.align);
    CreateNative(WC_TABCONTROLW, L"",
                 WS_TABSTOP | WS_CLIPCHILDREN | (desc.buttonTabs ? TCS_BUTTONS : 0),
                 WS_EX_CONTROLPARENT);
}

Rect PageControl::PageBounds() const {
    HWND h = detail::Hwnd(*this);
    if (!h) return Rect{4, 24, bounds_.width - 8, std::max(0, bounds_.height - 28)};
    RECT r;
    GetClientRect(h, &r);
    TabCtrl_AdjustRect(h, FALSE, &r);
    int dpi = Dpi();
    return Rect{MulDiv(r.left, 96, dpi), MulDiv(r.top, 96, dpi), MulDiv(r.right - r.left, 96, dpi),
                MulDiv(r.bottom - r.top, 96, dpi)};
}

int PageControl::PageAreaHeight() const {
    return PageBounds().height;
}

std::vector<TabSheet*> PageControl::VisibleTabs() const {
    std::vector<TabSheet*> out;
    for (TabSheet* p : pages_)
        if (p->tabVisible_) out.push_back(p);
    return out;
}

void PageControl::AddPage(TabSheet* page) {
    pages_.push_back(page);
    if (!active_) active_ = page;
    RebuildTabs();
}

void PageControl::RemovePage(TabSheet* page) {
    pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
    if (active_ == page) active_ = pages_.empty() ? nullptr : pages_.front();
    RebuildTabs();
}

void PageControl::SetActivePage(TabSheet* page) {
    if (page && std::find(pages_.begin(), pages_.end(), page) == pages_.end()) return;
    active_ = page;
    RebuildTabs();
}

void PageControl::SelectTab(TabSheet& page) {
    if (!page.tabVisible_ || !page.Enabled() || !EnabledWithParents()) return;
    if (active_ == &page) return;
    SetActivePage(&page);
    if (OnChange) Guarded(OnChange);
}

void PageControl::RebuildTabs() {
    HWND h = detail::Hwnd(*this);
    if (h) {
        rebuilding_ = true;
        TabCtrl_DeleteAllItems(h);
        int i = 0, sel = -1;
        for (TabSheet* p : VisibleTabs()) {
            TCITEMW item{};
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = const_cast<wchar_t*>(p->caption_.c_str());
            item.lParam = reinterpret_cast<LPARAM>(p);
            TabCtrl_InsertItem(h, i, &item);
            if (p == active_) sel = i;
            ++i;
        }
        if (sel >= 0) TabCtrl_SetCurSel(h, sel);
        rebuilding_ = false;
    }
    ShowActive();
}

void PageControl::ShowActive() {
    Rect area = PageBounds();
    for (TabSheet* p : pages_) {
        if (!(p->bounds_ == area)) p->SetBounds(area);
        p->Control::SetVisible(p == active_);
    }
}

void PageControl::ApplyDpi() {
    Control::ApplyDpi();
    ShowActive();
}

bool PageControl::OnNotification(unsigned msg, unsigned code, std::uintptr_t, std::intptr_t,
                                 std::intptr_t& result) {
    if (msg != WM_NOTIFY || rebuilding_) return false;
    HWND h = detail::Hwnd(*this);
    if (code == static_cast<unsigned>(TCN_SELCHANGE)) {
        int sel = TabCtrl_GetCurSel(h);
        TCITEMW item{};
        item.mask = TCIF_PARAM;
        if (sel >= 0 && TabCtrl_GetItem(h, sel, &item)) {
            auto* page = reinterpret_cast<TabSheet*>(item.lParam);
            active_ = page;
            ShowActive();
            if (OnChange) Guarded(OnChange);
        }
        result = 0;
        return true;
    }
    if (code == static_cast<unsigned>(TCN_SELCHANGING)) {
        result = 0;
        return true;
    }
    return false;
}

TabSheet::~TabSheet() {
    if (owner_) owner_->RemovePage(this);
}

void TabSheet::Create(PageControl& owner, const TabSheetDesc& desc) {
    owner_ = &owner;
    caption_ = desc.caption;
    visible_ = false;
    Attach(&owner, owner.PageBounds());
    CreateNative(detail::kWindowClass, L"", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    owner.AddPage(this);
}

void TabSheet::SetTabVisible(bool visible) {
    if (visible == tabVisible_) return;
    tabVisible_ = visible;
    if (owner_) {
        if (!visible && owner_->active_ == this) {
            auto tabs = owner_->VisibleTabs();
            owner_->active_ = tabs.empty() ? nullptr : tabs.front();
        }
        owner_->RebuildTabs();
    }
}

void TabSheet::SetEnabled(bool enabled) {
    Control::SetEnabled(enabled);
}

bool TabSheet::OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t,
                               std::intptr_t& result) {
    if (msg != WM_ERASEBKGND) return false;
    RECT r;
    GetClientRect(detail::Hwnd(*this), &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, detail::BrushFor(Background()));
    result = 1;
    return true;
}

} // namespace gui
