// The deployment recipes under deploy/ as the tests start them: a template
// with @NAME@ placeholders, filled in.
#pragma once

#include <map>
#include <string>

namespace tolv::tests {

// The text of deploy/<relative> with every @NAME@ replaced by values[NAME].
// Throws when the template is missing or keeps a placeholder without a value.
std::string render_recipe(const std::string& relative, const std::map<std::string, std::string>& values);

}  // namespace tolv::tests
