#include "forms.h"

#include <vector>

namespace forms {

namespace {
std::vector<QPointer<QWidget>>& all() {
    static std::vector<QPointer<QWidget>> v;
    return v;
}
}  // namespace

void registerForm(QWidget* w) { all().emplace_back(w); }

void unloadAll() {
    std::vector<QPointer<QWidget>> v;
    v.swap(all());
    for (auto it = v.rbegin(); it != v.rend(); ++it)
        if (*it) delete it->data();
}

}  // namespace forms
