#pragma once
// Shared by the window suites: the window's components by name. The suites run against the
// process's temporary settings store (TELMAX_TEST_MAIN_IN_TEMPORARY_STORE).

#include <QApplication>
#include <QtTest>

#include "app/frm_module.h"
#include "support/temporary_store.h"

namespace windowtest {

template <typename T>
T *part(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

} // namespace windowtest
