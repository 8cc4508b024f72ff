// Printing a written sheet on one of the system's printers: what to print and where, without
// saying through what. The Linux command line sends it to CUPS; tests put a fake in its place.
#pragma once

#include <filesystem>
#include <string>

namespace kelvane {

struct PrintRequest {
  std::filesystem::path document;  // the sheet's PDF, one page of its paper at 1:1
  std::string title;               // UTF-8, the job's name: the sheet's file name
  // The page as drawn, in millimetres; wider than tall means landscape. It goes on paper of
  // exactly that size, unscaled.
  double widthMm = 0, heightMm = 0;
  std::string printer;  // UTF-8; empty: the default destination
};

struct PrintOutcome {
  bool sent = false;
  std::string job;    // the printer's name for the job, when sent ("Office-12")
  std::string error;  // UTF-8, why nothing was sent
};

class PrintService {
 public:
  virtual ~PrintService() = default;
  // Sends one document as one job and answers at once; the document may go when this returns.
  virtual PrintOutcome Print(const PrintRequest& request) = 0;
};

}  // namespace kelvane
