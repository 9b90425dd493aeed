// The web page and the API's description, each one self-contained file built into tunerd
// (web_page.html, openapi.json).
#pragma once

namespace tunerd {

extern const char kWebPage[];
extern const char kOpenApi[];

}  // namespace tunerd
