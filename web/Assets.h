// The page, its script and its style sheet, built into the program from
// web/static so that one file is all an installation needs.
#pragma once

namespace qb::web::assets {
extern const char* const kIndexHtml;
extern const char* const kAppJs;
extern const char* const kAppCss;
} // namespace qb::web::assets
