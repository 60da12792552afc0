// A sorted check list as a list box with LBS_SORT keeps it: items in
// alphabetical order whatever order they are added in, letter case ignored,
// each with its check. The windowless runs answer the programs' lists with it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zep {

class CheckListModel {
public:
    int AddString(const std::string& text);  // the index it got
    int GetCount() const { return int(items_.size()); }
    bool GetCheck(int index) const { return Valid(index) && items_[size_t(index)].second; }
    void SetCheck(int index, bool checked) {
        if (Valid(index)) items_[size_t(index)].second = checked;
    }
    std::string GetText(int index) const { return Valid(index) ? items_[size_t(index)].first : ""; }
    void Reset() { items_.clear(); }

private:
    bool Valid(int index) const { return index >= 0 && index < GetCount(); }
    std::vector<std::pair<std::string, bool>> items_;
};

}  // namespace zep
