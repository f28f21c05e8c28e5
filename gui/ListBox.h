#pragma once
// A list of text entries.

#include <optional>
#include <string>
#include <vector>

#include "gui/Control.h"

namespace gui {

struct ListBoxDesc {
    Rect bounds{0, 0, 121, 97};
    Align align = Align::None;
    std::optional<Font> font{};
};

class ListBox : public Control {
public:
    ListBox() = default;
    void Create(Control& parent, const ListBoxDesc& desc);

    const std::vector<std::wstring>& Items() const { return items_; }
    void AddItem(const std::wstring& item);
    void Clear();

private:
    std::vector<std::wstring> items_;
};

} // namespace gui
