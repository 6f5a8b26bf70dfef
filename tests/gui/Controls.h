#pragma once

#include "core/model/SearchEngine.h"

#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

// The window's control of that object name and type. A missing one throws, so the test
// fails with the name instead of the whole program stopping on a null pointer.
template <class T>
T* control(const QObject* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromUtf8(name));
    if (!found)
        throw std::runtime_error(std::string("no control named ") + name);
    return found;
}

template <class T>
T* control(const QObject& window, const char* name)
{
    return control<T>(&window, name);
}

template <class T, class Window>
T* control(const std::unique_ptr<Window>& window, const char* name)
{
    return control<T>(window.get(), name);
}

// The engine's control of that kind: "Check", "Result" or "LookupButton".
template <class T, class Window>
T* engineControl(const Window& window, kaldrani::SearchEngine e, const char* kind)
{
    const std::string name = std::string(kaldrani::kEngineKeys[kaldrani::engineIndex(e)]) + kind;
    return control<T>(window, name.c_str());
}
