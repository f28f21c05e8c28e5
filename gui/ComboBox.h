#pragma once
// A pick-only drop-down list: the user chooses an entry and cannot type.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/Control.h"

namespace gui {

struct ComboBoxDesc {
    Rect bounds{0, 0, 145, 21}; // the height is the closed box's; the list drops below
    int dropDownCount = 8;
    std::optional<Font> font{};
};

class ComboBox : public Control {
public:
    ComboBox() = default;
    void Create(Control& parent, const ComboBoxDesc& desc);

    const std::vector<std::wstring>& Items() const { return items_; }
    void AddItem(const std::wstring& item);
    void Clear();
    // -1 when nothing is picked.
    int ItemIndex() const { return index_; }
    void SetItemIndex(int index); // -1 or an index of Items(); others are ignored
    // The picked entry's text; empty when nothing is picked.
    std::wstring Text() const;

    std::function<void()> OnChange;
    // The user picks an entry: sets the index and runs OnChange (guarded); nothing when the
    // list or a parent is disabled.
    void Pick(int index);

    bool OnNotification(unsigned msg, unsigned code, std::uintptr_t wp, std::intptr_t lp,
                        std::intptr_t& result) override;
    void ApplyDpi() override;

private:
    std::vector<std::wstring> items_;
    int index_ = -1;
    int dropDownCount_ = 8;
};

} // namespace gui
