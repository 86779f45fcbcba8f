#include <cstdlib>

#include "avrig/avrig_main.h"

int main(int argc, char** argv) { return CloseStandardOutput(AvrigMain(argc, argv)); }

// The tool throws nothing, so it never terminates with an exception in flight; the
// library's verbose handler for that case only names the exception's type, and its type-name
// demangler is some 55 KB of the board's binary. Ending at once serves as well.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
