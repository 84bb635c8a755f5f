#pragma once
// The overlay page (overlay.html), embedded at build time.

#include <string_view>

namespace tol {

// The page as written; "/*KOVUN_CONFIG*/null" in it stands for the server's
// settings of one request (style, scale and the window's layouts).
std::string_view OverlayPage();

}  // namespace tol
