// Files written from a template: the text as the reader will see it, with named
// placeholders such as @PROGRAM@ filled in one pass, so a value that happens to
// hold a placeholder's spelling is written as it stands.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace platform {

using TemplateValue = std::pair<const char*, std::string>;

inline std::string fillTemplate(const char* text, std::initializer_list<TemplateValue> values) {
    std::string out;
    for (const char* p = text; *p != '\0';) {
        const TemplateValue* hit = nullptr;
        if (*p == '@') {
            for (const TemplateValue& value : values) {
                if (std::strncmp(p, value.first, std::strlen(value.first)) == 0) hit = &value;
            }
        }
        if (hit == nullptr) {
            out += *p++;
            continue;
        }
        out += hit->second;
        p += std::strlen(hit->first);
    }
    return out;
}

}  // namespace platform
