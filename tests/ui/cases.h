// The case functions, one per line of cases.def.
#pragma once

#include <string>

namespace uicases {

#define KVO_UI_CASE(name, function, how) void function(const std::string& caseName);
#include "cases.def"
#undef KVO_UI_CASE

}  // namespace uicases
