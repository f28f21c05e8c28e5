#pragma once
// A page control with tab pages. A page whose tab is hidden is not offered; the first page
// is the active one until something selects another.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/Control.h"

namespace gui {

class PageControl;

struct PageControlDesc {
    Rect bounds{};
    Align align = Align::None;
    bool buttonTabs = false; // tabs drawn as buttons
    std::optional<Font> font{};
};

class PageControl : public Control {
public:
    PageControl() = default;
    void Create(Control& parent, const PageControlDesc& desc);

    class TabSheet* ActivePage() const {
        return active_;
    }
    void SetActivePage(TabSheet* page);
    const std::vector<TabSheet*>& Pages() const { return pages_; }
    // The pages whose tabs are shown, in order.
    std::vector<TabSheet*> VisibleTabs() const;

    std::function<void()> OnChange;
    // The user clicks the tab of the page: it becomes active when its tab is shown and
    // enabled and the page control can be reached; runs OnChange (guarded).
    void SelectTab(TabSheet& page);

    bool OnNotification(unsigned msg, unsigned code, std::uintptr_t wp, std::intptr_t lp,
                        std::intptr_t& result) override;
    void ApplyDpi() override;
    void Resized() override { ShowActive(); }
    int PageAreaHeight() const;

private:
    friend class TabSheet;
    void AddPage(TabSheet* page);
    void RemovePage(TabSheet* page);
    void RebuildTabs();
    Rect PageBounds() const;
    void ShowActive();

    std::vector<TabSheet*> pages_;
    TabSheet* active_ = nullptr;
    bool rebuilding_ = false;
};

struct TabSheetDesc {
    std::wstring caption{};
};

class TabSheet : public Control {
public:
    TabSheet() = default;
    ~TabSheet() override;
    void Create(PageControl& owner, const TabSheetDesc& desc);

    const std::wstring& Caption() const { return caption_; }
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);
    void SetEnabled(bool enabled) override;
    PageControl* Owner() const { return owner_; }
    int ClientWidth() const override { return bounds_.width; }
    int ClientHeight() const override { return bounds_.height; }

    bool OnNativeMessage(unsigned msg, std::uintptr_t wp, std::intptr_t lp,
                         std::intptr_t& result) override;

private:
    friend class PageControl;
    PageControl* owner_ = nullptr;
    std::wstring caption_;
    bool tabVisible_ = true;
};

} // namespace gui
