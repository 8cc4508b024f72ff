// The print service through libcups. Jobs go out with the frame's media and orientation and
// with scaling off, so that the sheet prints 1:1 on paper of its own size.
#include "app/posix/cups_print_service.h"

#include <cups/cups.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace kelvane {

namespace {

// Hundredths of a millimetre, PWG's unit for media sizes.
int Hundredths(double mm) { return int(std::lround(mm * 100)); }

// How long a server that does not answer may keep the run waiting.
constexpr int kConnectTimeoutMs = 10000;

class CupsPrintService final : public PrintService {
 public:
  ~CupsPrintService() override {
    for (auto& [name, dest] : destinations_)
      if (dest) cupsFreeDests(1, dest);
    if (http_) httpClose(http_);
  }

  PrintOutcome Print(const PrintRequest& request) override {
    PrintOutcome outcome;
    if (!Connect(outcome.error)) return outcome;
    const cups_dest_t* dest = Destination(request.printer, outcome.error);
    if (!dest) return outcome;

    const bool landscape = request.widthMm > request.heightMm;
    cups_option_t* options = nullptr;
    int count = 0;
    count = cupsAddOption("media", MediaNameFor(request.widthMm, request.heightMm).c_str(), count, &options);
    count = cupsAddOption("orientation-requested", landscape ? "4" : "3", count, &options);
    // Never fitted to the printable area: a sheet is a drawing to scale.
    count = cupsAddOption("print-scaling", "none", count, &options);
    count = cupsAddOption("fit-to-page", "false", count, &options);
    count = cupsAddOption("document-format", "application/pdf", count, &options);
    const int job = cupsPrintFile2(http_, dest->name, request.document.c_str(), request.title.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job == 0) {
      outcome.error = std::string("the printer ") + dest->name + " refused the job: " + cupsLastErrorString();
      return outcome;
    }
    outcome.sent = true;
    outcome.job = std::string(dest->name) + "-" + std::to_string(job);
    return outcome;
  }

 private:
  bool Connect(std::string& error) {
    if (http_) return true;
    if (connectError_.empty()) {
      http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr);
      if (!http_) {
        // libcups keeps no usable reason here (errno is gone, its own text says "Host is down"
        // for a refused connection): where it looked is what helps.
        std::string server = cupsServer();
        if (server.empty() || server[0] != '/') server += ":" + std::to_string(ippPort());
        connectError_ = "no CUPS server answers at " + server;
      }
    }
    error = connectError_;
    return http_ != nullptr;
  }

  // The destination by name, or the default one; looked up once.
  const cups_dest_t* Destination(const std::string& name, std::string& error) {
    auto found = destinations_.find(name);
    if (found == destinations_.end()) {
      cups_dest_t* dest = cupsGetNamedDest(http_, name.empty() ? nullptr : name.c_str(), nullptr);
      std::string why = dest ? std::string()
                        : name.empty() ? std::string("CUPS has no default printer: ")
                                       : "the printer " + name + " does not exist: ";
      if (!dest) why += cupsLastErrorString();
      found = destinations_.emplace(name, dest).first;
      errors_[name] = why;
    }
    error = errors_[name];
    return found->second;
  }

  http_t* http_ = nullptr;
  std::string connectError_;
  std::map<std::string, cups_dest_t*> destinations_;
  std::map<std::string, std::string> errors_;
};

}  // namespace

std::string MediaNameFor(double widthMm, double heightMm) {
  const int shorter = Hundredths(std::min(widthMm, heightMm)), longer = Hundredths(std::max(widthMm, heightMm));
  const pwg_media_t* media = pwgMediaForSize(shorter, longer);
  return media && media->pwg ? media->pwg : std::string();
}

std::unique_ptr<PrintService> MakeCupsPrintService() { return std::make_unique<CupsPrintService>(); }

}  // namespace kelvane
