// Stands in for MS Outlook in the step-by-step wizard's tests: loads the library named by its
// first argument ("-" for none), as MS Outlook loads its MAPI library, then keeps running for
// the seconds of its second argument.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) != "-" && dlopen(argv[1], RTLD_NOW) == nullptr) return 1;
    sleep(static_cast<unsigned>(argc > 2 ? std::atoi(argv[2]) : 5));
    return 0;
}
