// Date: the constructor (`new Date(...)`, `Date(...)`), Date.now, Date.parse,
// Date.UTC and the methods of date values.
#pragma once

namespace tolv {

void install_date();

// Parts of the installation, one per file.
void install_date_constructor();
void install_date_methods();

}  // namespace tolv
