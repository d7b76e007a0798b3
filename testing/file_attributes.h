#pragma once

#include <string>

// Marks the file `name` (UTF-8) hidden and a system file where the system
// has such marks (Windows); elsewhere it leaves it as it is. False when the
// system refuses.
bool hideFile(const std::string& name);
