#include "support/recipe.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tolv::tests {

std::string render_recipe(const std::string& relative, const std::map<std::string, std::string>& values) {
    const std::string path = std::string(TOLV_SOURCE_DIR) + "/deploy/" + relative;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("no recipe " + path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    std::string out;
    size_t at = 0;
    for (size_t open; (open = source.find('@', at)) != std::string::npos;) {
        size_t close = source.find('@', open + 1);
        std::string name = close == std::string::npos ? "" : source.substr(open + 1, close - open - 1);
        bool placeholder = !name.empty() && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") ==
                                                std::string::npos;
        if (!placeholder) {
            out.append(source, at, open + 1 - at);
            at = open + 1;
            continue;
        }
        auto value = values.find(name);
        if (value == values.end()) throw std::runtime_error(path + " needs a value for @" + name + "@");
        out.append(source, at, open - at);
        out += value->second;
        at = close + 1;
    }
    out.append(source, at, std::string::npos);
    return out;
}

}  // namespace tolv::tests
