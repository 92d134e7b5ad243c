// Every window of the front end exists at most once, as in a classic desktop
// application: form<T>() returns the window of class T, creating it on first
// use.  A window deleted on closing (WA_DeleteOnClose) is created afresh with
// its initial state the next time it is asked for.
#pragma once

#include <QPointer>
#include <QWidget>

namespace forms {

// Remembers a window created through form<T>() so unloadAll() can delete it.
void registerForm(QWidget* w);

// Deletes every window created through form<T>(); the next form<T>() creates
// a fresh one.  Used between tests and at program end.
void unloadAll();

template <class T>
QPointer<T>& slot() {
    static QPointer<T> p;
    return p;
}

template <class T>
T& form() {
    QPointer<T>& p = slot<T>();
    if (!p) {
        p = new T();
        registerForm(p);
    }
    return *p;
}

// True when the window of class T exists now.
template <class T>
bool loaded() {
    return !slot<T>().isNull();
}

}  // namespace forms
