// The library's TTCHAR and the platform's wide character are one type, so
// text converts straight into and out of the library's fixed arrays.
#pragma once

#include <type_traits>

#include "platform.h"
#include "voiceclient.h"

static_assert(std::is_same_v<TTCHAR, WideChar>, "the library's text must be UTF-16 units");
