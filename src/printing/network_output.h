// Network output through the window's connection: open it, collect every
// label in the window's outgoing text, send that in one piece and close.
// All waiting is done in ticks that keep the window responsive.
#pragma once

#include <cstdint>
#include <string>

#include "label/label.h"
#include "printing/print_host.h"

namespace zplport {

// Sleeps 1 ms then processes pending window events, `count` times; a count
// of 0 or less returns at once.
void DelayTicks(PrintHost& host, std::int32_t count);

// Reads [network] printerip and printerport, empties SendText, starts the
// connection and ticks until it is open (at least 10 ticks). Raises
// PrintFailure when it cannot be established.
void OpenPrinterConnection(PrintHost& host);

// "192.168.1.20:9100" or "[fe80::1]:9100": the printer as messages name it.
std::string PrinterName(const TcpClient& client);

// Appends one label to SendText, with nothing between labels.
void AppendLabel(PrintHost& host, const LabelText& label);

// Waits 5 ticks, sends all of SendText, ends our side, waits until the
// printer has acknowledged every byte and for its close, and closes the
// connection.
// Raises PrintFailure on a send error, a reset, or a printer that takes or
// acknowledges nothing for the stall limit. The printer's close, or its
// silence for the close wait, ends the request well.
void SendAndClose(PrintHost& host);

}  // namespace zplport
