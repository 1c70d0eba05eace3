#pragma once

#include <string>

#include "tests/plugin/ErrorMessageWatchImpl.h"

namespace vexo::test {

// Catches the error message the plug-in shows the user during its lifetime: the
// message box on Windows (closed as soon as it appears, so that the run goes on),
// standard error elsewhere. Caption() and Text() give the first message, empty
// when none was shown.
class ErrorMessageWatch : private ErrorMessageWatchImpl {
public:
    using ErrorMessageWatchImpl::Caption;
    using ErrorMessageWatchImpl::Text;
};

}  // namespace vexo::test
