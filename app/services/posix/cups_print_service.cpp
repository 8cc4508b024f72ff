// The print service through libcups. Jobs go out with the frame's media and orientation and
// with scaling off, so that the sheet prints 1:1 on paper of its own size.
#include "app/services/posix/cups_print_service.h"

#include <cups/cups.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace kelvane {

namespace {

// Hundredths of a millimetre, PWG's unit for media sizes.
int Hundredths(double mm) { return int(std::lround(mm * 100)); }

// How long a server that does not answer may keep the run waiting.
constexpr int kConnectTimeoutMs = 10000;

// libcups, loaded when the first sheet is printed rather than linked: linked, it and the two
// dozen libraries it brings (TLS, Kerberos, DNS-SD) double the start-up time of every run.
struct Cups {
  decltype(&::cupsServer) server;
  decltype(&::ippPort) port;
  decltype(&::cupsEncryption) encryption;
  decltype(&::httpConnect2) connect;
  decltype(&::httpClose) close;
  decltype(&::cupsGetNamedDest) namedDest;
  decltype(&::cupsFreeDests) freeDests;
  decltype(&::cupsAddOption) addOption;
  decltype(&::cupsFreeOptions) freeOptions;
  decltype(&::cupsPrintFile2) printFile;
  decltype(&::cupsLastErrorString) lastError;
  decltype(&::pwgMediaForSize) mediaForSize;

  // The library, loaded once for the process; nothing when it or one of its functions is missing.
  static const Cups* Get() {
    static const std::optional<Cups> cups = Load();
    return cups ? &*cups : nullptr;
  }

 private:
  template <typename F>
  static bool Find(void* library, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(library, name));
    return f != nullptr;
  }
  static std::optional<Cups> Load() {
    void* l = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    Cups c{};
    if (!l || !Find(l, "cupsServer", c.server) || !Find(l, "ippPort", c.port) ||
        !Find(l, "cupsEncryption", c.encryption) || !Find(l, "httpConnect2", c.connect) ||
        !Find(l, "httpClose", c.close) || !Find(l, "cupsGetNamedDest", c.namedDest) ||
        !Find(l, "cupsFreeDests", c.freeDests) || !Find(l, "cupsAddOption", c.addOption) ||
        !Find(l, "cupsFreeOptions", c.freeOptions) || !Find(l, "cupsPrintFile2", c.printFile) ||
        !Find(l, "cupsLastErrorString", c.lastError) || !Find(l, "pwgMediaForSize", c.mediaForSize))
      return std::nullopt;
    return c;  // the library stays loaded for the process
  }
};

constexpr char kNoLibrary[] = "the CUPS library (libcups.so.2, package libcups2) cannot be loaded";

class CupsPrintService final : public PrintService {
 public:
  ~CupsPrintService() override {
    if (!cups_) return;
    for (auto& [name, dest] : destinations_)
      if (dest) cups_->freeDests(1, dest);
    if (http_) cups_->close(http_);
  }

  PrintOutcome Print(const PrintRequest& request) override {
    PrintOutcome outcome;
    if (!Connect(outcome.error)) return outcome;
    const cups_dest_t* dest = Destination(request.printer, outcome.error);
    if (!dest) return outcome;

    const bool landscape = request.widthMm > request.heightMm;
    const std::string media = MediaNameFor(request.widthMm, request.heightMm);
    cups_option_t* options = nullptr;
    int count = 0;
    count = cups_->addOption("media", media.c_str(), count, &options);
    count = cups_->addOption("orientation-requested", landscape ? "4" : "3", count, &options);
    // Never fitted to the printable area: a sheet is a drawing to scale.
    count = cups_->addOption("print-scaling", "none", count, &options);
    count = cups_->addOption("fit-to-page", "false", count, &options);
    count = cups_->addOption("document-format", "application/pdf", count, &options);
    const int job =
        cups_->printFile(http_, dest->name, request.document.c_str(), request.title.c_str(), count, options);
    cups_->freeOptions(count, options);
    if (job == 0) {
      outcome.error = std::string("the printer ") + dest->name + " refused the job: " + cups_->lastError();
      return outcome;
    }
    outcome.sent = true;
    outcome.job = std::string(dest->name) + "-" + std::to_string(job);
    return outcome;
  }

 private:
  bool Connect(std::string& error) {
    if (http_) return true;
    if (connectError_.empty() && !(cups_ = Cups::Get())) connectError_ = kNoLibrary;
    if (connectError_.empty()) {
      http_ = cups_->connect(cups_->server(), cups_->port(), nullptr, AF_UNSPEC, cups_->encryption(), 1,
                             kConnectTimeoutMs, nullptr);
      if (!http_) {
        // libcups keeps no usable reason here (errno is gone, its own text says "Host is down"
        // for a refused connection): where it looked is what helps.
        std::string server = cups_->server();
        if (server.empty() || server[0] != '/') server += ":" + std::to_string(cups_->port());
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
      cups_dest_t* dest = cups_->namedDest(http_, name.empty() ? nullptr : name.c_str(), nullptr);
      std::string why;
      if (!dest)
        why = (name.empty() ? std::string("CUPS has no default printer") : "the printer " + name + " does not exist") +
              ": " + cups_->lastError();
      found = destinations_.emplace(name, dest).first;
      errors_[name] = why;
    }
    error = errors_[name];
    return found->second;
  }

  const Cups* cups_ = nullptr;
  http_t* http_ = nullptr;
  std::string connectError_;
  std::map<std::string, cups_dest_t*> destinations_;
  std::map<std::string, std::string> errors_;
};

}  // namespace

std::string MediaNameFor(double widthMm, double heightMm) {
  const int shorter = Hundredths(std::min(widthMm, heightMm)), longer = Hundredths(std::max(widthMm, heightMm));
  const Cups* cups = Cups::Get();
  const pwg_media_t* media = cups ? cups->mediaForSize(shorter, longer) : nullptr;
  return media && media->pwg ? media->pwg : std::string();
}

std::unique_ptr<PrintService> MakeCupsPrintService() { return std::make_unique<CupsPrintService>(); }

}  // namespace kelvane
