// Reads the items of a menu template resource (the classic MENU form).
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

struct MenuItem {
    int depth = 0;  // 0 for the menu bar, 1 for the items of its pop-ups, and so on
    WORD flags = 0; // MF_ flags as the template holds them, without MF_END
    int id = 0;     // the command; 0 for pop-ups and separators
    std::wstring text;

    bool popup() const { return (flags & MF_POPUP) != 0; }
    // MENUITEM SEPARATOR is an item without flags, command or text.
    bool separator() const { return !popup() && ((flags & MF_SEPARATOR) || (id == 0 && text.empty())); }
};

namespace menu_template_detail {

class Reader {
public:
    explicit Reader(const std::string &data) : data_(data) {}
    bool ok() const { return ok_; }
    WORD Word() {
        WORD value = 0;
        if (pos_ + sizeof value > data_.size()) {
            ok_ = false;
            return value;
        }
        memcpy(&value, data_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return value;
    }
    std::wstring Text() {
        std::wstring text;
        for (WORD c; ok_ && (c = Word()) != 0;)
            text += wchar_t(c);
        return text;
    }
    void Skip(size_t n) {
        if (pos_ + n > data_.size()) ok_ = false;
        pos_ += n;
    }

private:
    const std::string &data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// One level of the menu, each pop-up followed by its own items; the last item of a level carries MF_END.
inline void ReadLevel(Reader &in, int depth, std::vector<MenuItem> *items) {
    for (bool last = false; !last && in.ok();) {
        MenuItem item;
        item.depth = depth;
        WORD flags = in.Word();
        last = (flags & MF_END) != 0;
        item.flags = WORD(flags & ~MF_END);
        if (!item.popup()) item.id = in.Word();
        item.text = in.Text();
        if (!in.ok()) return;
        items->push_back(item);
        if (item.popup()) ReadLevel(in, depth + 1, items);
    }
}

} // namespace menu_template_detail

// The items of the template in their order, each pop-up followed by its items one level deeper;
// empty when the data is not a classic menu template (MENUEX templates are not read).
inline std::vector<MenuItem> MenuTemplateItems(const std::string &data) {
    menu_template_detail::Reader in(data);
    WORD version = in.Word();
    WORD headerSize = in.Word();
    if (!in.ok() || version != 0) return {};
    in.Skip(headerSize);
    std::vector<MenuItem> items;
    menu_template_detail::ReadLevel(in, 0, &items);
    return in.ok() ? items : std::vector<MenuItem>();
}
