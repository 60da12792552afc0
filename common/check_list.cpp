#include "common/check_list.h"

#include <algorithm>
#include <cctype>

namespace zep {

int CheckListModel::AddString(const std::string& text) {
    auto before = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    };
    // After the items that sort equal: an added item goes last among its equals.
    auto at = std::upper_bound(items_.begin(), items_.end(), text,
                               [&](const std::string& t, const std::pair<std::string, bool>& item) {
                                   return before(t, item.first);
                               });
    int index = int(at - items_.begin());
    items_.insert(at, {text, false});
    return index;
}

}  // namespace zep
