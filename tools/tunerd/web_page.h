// The web page, one self-contained file built into tunerd (web_page.html).
#pragma once

namespace tunerd {

extern const char kWebPage[];

}  // namespace tunerd
