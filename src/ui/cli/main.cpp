// zplport-cli QUANTITY: one press of Print with QUANTITY in the quantity box.
#include <cstdio>

#include "printing/print_request.h"
#include "ui/cli/cli_host.h"

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zplport-cli QUANTITY\n", stderr);
    return 2;
  }
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  zplport::CliHost host(argv[1], stdout);
  return zplport::ExitStatusFor(zplport::RunPrintRequest(host));
}
