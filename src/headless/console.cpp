#include "headless/console.h"

#include <iostream>

namespace tkw {

void StdConsole::Out(const std::string& line) { std::cout << line << std::endl; }
void StdConsole::Err(const std::string& line) { std::cerr << line << std::endl; }

}  // namespace tkw
