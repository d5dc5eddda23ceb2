// Reads the control ids out of a dialog template resource (classic or extended form).
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace dialog_template_detail {

class Reader {
public:
    explicit Reader(const std::string &data) : data_(data) {}
    bool ok() const { return ok_; }
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    // A name or an ordinal: 0 (none), 0xFFFF and an ordinal, or a zero-terminated UTF-16 text.
    void SkipNameOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF)
            Word();
        else if (first != 0)
            SkipText();
    }
    void SkipText() {
        while (ok_ && Word() != 0) {
        }
    }
    void Skip(size_t n) { Advance(n); }
    void AlignDword() { Advance((4 - pos_ % 4) % 4); }

private:
    template <typename T> T Take() {
        T value{};
        if (pos_ + sizeof(T) > data_.size()) {
            ok_ = false;
            return value;
        }
        memcpy(&value, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    void Advance(size_t n) {
        if (pos_ + n > data_.size()) ok_ = false;
        pos_ += n;
    }
    const std::string &data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace dialog_template_detail

// The ids of the template's controls in their order; empty when the data is not a template.
inline std::vector<int> DialogControlIds(const std::string &data) {
    WORD head[2] = {0, 0};
    if (data.size() >= sizeof head) memcpy(head, data.data(), sizeof head);
    bool extended = head[0] == 1 && head[1] == 0xFFFF;
    dialog_template_detail::Reader in(data);
    std::vector<int> ids;
    if (extended) in.Skip(sizeof head);
    DWORD style;
    if (extended) {
        in.Dword(); // help id
        in.Dword(); // extended style
        style = in.Dword();
    } else {
        style = in.Dword();
        in.Dword();
    }
    WORD count = in.Word();
    in.Skip(4 * sizeof(short));
    in.SkipNameOrOrdinal(); // menu
    in.SkipNameOrOrdinal(); // class
    in.SkipText();          // title
    if (style & DS_SETFONT) {
        in.Word();                               // point size
        if (extended) in.Skip(2 * sizeof(WORD)); // weight, italic and charset
        in.SkipText();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignDword();
        if (extended)
            in.Skip(3 * sizeof(DWORD)); // help id, extended style, style
        else
            in.Skip(2 * sizeof(DWORD));
        in.Skip(4 * sizeof(short));
        int id = extended ? int(in.Dword()) : int(short(in.Word()));
        in.SkipNameOrOrdinal(); // class
        in.SkipNameOrOrdinal(); // text
        in.Skip(in.Word());     // creation data
        if (in.ok()) ids.push_back(id);
    }
    return in.ok() ? ids : std::vector<int>();
}
