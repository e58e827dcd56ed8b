#pragma once
// The fixture of this folder's dialog tests: a fresh data folder and scripted answers
// per test, libzelcommon.so loaded, and a way to act on a modal dialog once it runs.

#include "tests/support/WidgetTestSupport.h"

namespace kestrow::test {

using DialogTest = ModalDialogTest;

} // namespace kestrow::test
