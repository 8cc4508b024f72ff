// The print service through CUPS (libcups): the server every CUPS client of this user finds
// (CUPS_SERVER, client.conf, or the local one), the default destination or a named printer.
#pragma once

#include <memory>
#include <string>

#include "app/services/posix/print_service.h"

namespace kelvane {

// One connection for the whole run, opened at the first job; a server that did not answer is
// not asked again, so a run of many sheets fails at once for each.
std::unique_ptr<PrintService> MakeCupsPrintService();

// The media a page of this size asks for: PWG's name of the standard size it is ("iso_a3_297x420mm"),
// or a custom size of exactly these millimetres. Either orientation gives the same name.
std::string MediaNameFor(double widthMm, double heightMm);

}  // namespace kelvane
