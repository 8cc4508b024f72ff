// The batch: the steps of one drawing, run one drawing after another or by several workers.
#include "app/batch_run.h"

#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "app/deferred_feedback.h"
#include "app/input_files.h"
#include "app/messages.h"
#include "platform/replacing_file.h"

namespace kelvane {

namespace {

// Why a file could not be opened, in the system's words begun in lower case: "permission denied".
std::string OpenFailure(int error) {
  if (error == 0) return "cannot be opened";
  std::string reason = std::generic_category().message(error);
  if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] = char(reason[0] - 'A' + 'a');
  return reason;
}

// One drawing on its way through the run.
struct DrawingJob {
  size_t index = 0;
  std::filesystem::path file, folder;
  JwwDocument* document = nullptr;
  RunFeedback* out = nullptr;  // where its status texts go
  std::unique_ptr<DeferredFeedback> deferred;
  RunFailures failures;
  SheetPlan plan;
  std::vector<SheetOutcome> outcomes;
  CompanionResult companions;  // written with the sheets, told in input order
  bool considered = true;  // false: not a drawing's name, passed over without a word
  bool read = false;
  bool failed = false;
  std::string failure;  // UTF-8, for the summary
};

class Batch {
 public:
  Batch(BatchSetup& setup, const std::vector<std::filesystem::path>& files,
        const std::optional<std::filesystem::path>& outputFolder)
      : s_(setup), files_(files), outputFolder_(outputFolder) {}

  void RunSerial(JwwDocument& document);
  void RunParallel(unsigned jobs);

 private:
  void Start(DrawingJob& job, size_t index, JwwDocument& document);
  void Load(DrawingJob& job);
  void Place(DrawingJob& job);
  void Write(DrawingJob& job);
  void Finish(DrawingJob& job);
  void Fail(DrawingJob& job, const std::string& reason);
  void Work(JwwDocument& document);
  // Reports a written drawing whose drawing is no longer needed, and every later one that
  // waits, as soon as all before them are reported.
  void FinishInTurn(DrawingJob&& job);
  // Runs one step; whatever it throws fails this drawing only.
  template <typename Step>
  void Guarded(DrawingJob& job, Step&& step) {
    if (job.failed || !job.considered) return;
    try {
      step();
    } catch (const std::bad_alloc&) {
      Fail(job, "out of memory");
    } catch (const std::exception& e) {
      Fail(job, e.what());
    }
  }

  BatchSetup& s_;
  const std::vector<std::filesystem::path>& files_;
  const std::optional<std::filesystem::path>& outputFolder_;
  std::mutex mutex_;  // guards the run context and the turns below
  std::condition_variable turn_;
  size_t next_ = 0, placed_ = 0, finished_ = 0;
  std::map<size_t, DrawingJob> waiting_;  // written, to be reported after earlier drawings
  bool finishing_ = false;                // a worker is reporting drawings in turn
  JwwDocument unloaded_;                  // what those drawings are reported with (never loaded)
};

void Batch::Start(DrawingJob& job, size_t index, JwwDocument& document) {
  job.index = index;
  job.file = files_[index];
  job.folder = outputFolder_ ? *outputFolder_ : job.file.parent_path() / "";
  job.document = &document;
  job.out->SetStatusText(std::string(kConvertingStatus) + std::to_string(index + 1) + "/" +
                         std::to_string(files_.size()) + ") " + s_.files.ToSjis(job.file));
}

void Batch::Fail(DrawingJob& job, const std::string& reason) {
  std::string text = std::string(job.read ? kCannotSave : kCannotRead) + s_.files.ToSjis(job.file);
  if (!reason.empty()) text += " (" + reason + ")";
  job.out->SetStatusText(text);
  job.failures.Note(text);
  job.failed = true;
  job.failure = (job.read ? "cannot save its sheets: " : "cannot read: ") + reason;
}

void Batch::Load(DrawingJob& job) {
  if (!HasJwwExtension(s_.files.ToSjis(job.file.filename()))) {
    job.considered = false;
    return;
  }
  Guarded(job, [&] {
    // Only a regular file is opened: a FIFO or a device would stall the run.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(job.file, ec)) return Fail(job, "not a regular file");
    // A file that cannot be opened says why ("permission denied"), not that it is no drawing.
    errno = 0;
    if (std::ifstream probe(job.file, std::ios::binary); !probe) return Fail(job, OpenFailure(errno));
    if (!JwwDocument::IsJwwFile(job.file)) return Fail(job, "not a JWW drawing");
    if (!job.document->LoadFromFile(job.file)) {
      const JwwDiagnostics& d = job.document->diagnostics;
      return Fail(job, d.reason + " at byte " + std::to_string(d.errorOffset));
    }
    job.read = true;
    job.plan = PrepareSheets(*job.document, s_.options, job.file, job.folder, s_.files);
  });
}

// Called in input order: every earlier drawing's files are known.
void Batch::Place(DrawingJob& job) {
  Guarded(job, [&] {
    PlaceSheets(job.plan, s_.run, s_.files);
    RecordPlannedSheets(s_.run, s_.files, job.plan);
    if (s_.companions) PlanCompanions(job.plan, *job.document, *s_.companions, s_.run, s_.files);
    if (s_.dryRun) return;
    // What a killed run left in a folder goes when the next run writes there.
    auto tidy = [&](const std::filesystem::path& file) {
      if (s_.run.tidiedFolders.insert(file.parent_path()).second)
        RemoveStaleTemporaryFiles(file.parent_path(), s_.run.started);
    };
    for (const PlannedSheet& sheet : job.plan.sheets)
      if (sheet.ToBeWritten()) tidy(sheet.file);
    for (const PlannedOutput& output : job.plan.outputs)
      if (output.state == OutputState::kPlanned) tidy(output.file);
  });
}

void Batch::Write(DrawingJob& job) {
  Guarded(job, [&] {
    if (s_.dryRun) return ReportPlan(*job.out, job.plan, job.failures);
    job.outcomes = WriteSheets(s_.files, *job.out, *job.document, job.plan, job.failures);
    for (size_t i = 0; i < job.outcomes.size(); ++i)
      if (job.outcomes[i].written)
        if (std::optional<FileIdentity> id = s_.files.IdentityOf(job.plan.sheets[i].file)) {
          std::lock_guard<std::mutex> lock(mutex_);
          s_.run.writtenIdentities.insert(*id);
        }
    // Every name was decided in Place, so the files beside the sheets need no turn: they are
    // drawn here, by as many workers as there are, and only told in Finish.
    if (!s_.companions || job.plan.outputs.empty()) return;
    static const std::set<FileIdentity> kNone;
    job.companions = WriteCompanions(*job.document, job.plan, job.outcomes, *s_.companions, s_.pictures,
                                     s_.protectedFiles ? *s_.protectedFiles : kNone);
  });
}

// Called in input order: shows what the drawing held back and adds it to the run's records.
void Batch::Finish(DrawingJob& job) {
  Guarded(job, [&] {
    if (s_.dryRun || !s_.companions || job.plan.outputs.empty()) return;
    if (s_.companionsDone) s_.companionsDone(job.companions);
  });
  Guarded(job, [&] { s_.drawingDone(*job.document, job.plan, job.outcomes); });
  if (job.deferred) job.deferred->Release();
  s_.failures.Add(job.failures);
  if (job.read) ++s_.summary.drawingsRead;
  if (job.failed)
    s_.summary.failedDrawings.push_back({job.file, job.failure});
  else if (job.read)
    s_.summary.AddDrawing(job.plan, job.outcomes);
  s_.drawingFinished(job.index + 1);
}

void Batch::RunSerial(JwwDocument& document) {
  for (size_t i = 0; i < files_.size(); ++i) {
    if (s_.feedback.StopRequested()) s_.cancelRequested = true;
    if (s_.cancelRequested) break;
    DrawingJob job;
    job.out = &s_.feedback;
    Start(job, i, document);
    Load(job);
    Place(job);
    Write(job);
    Finish(job);
    document.Release();
    if (s_.window) s_.window->ProcessMessages();
  }
}

// One worker: takes the next drawing while there is one, and waits for its turn to place it.
void Batch::Work(JwwDocument& document) {
  for (;;) {
    DrawingJob job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (s_.feedback.StopRequested()) s_.cancelRequested = true;
      if (s_.cancelRequested || next_ == files_.size()) return;
      job.index = next_++;
    }
    job.deferred = std::make_unique<DeferredFeedback>(s_.feedback);
    job.out = job.deferred.get();
    Start(job, job.index, document);
    Load(job);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      turn_.wait(lock, [&] { return placed_ == job.index; });
      Place(job);
      ++placed_;
    }
    turn_.notify_all();
    Write(job);
    if (s_.drawingDoneReadsDrawing) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        turn_.wait(lock, [&] { return finished_ == job.index; });
      }
      Finish(job);  // alone: every later drawing waits for this turn
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++finished_;
      }
      turn_.notify_all();
      document.Release();
    } else {
      // Nothing of the drawing is needed to report it: unload it and take the next one at
      // once; whoever finishes the drawing before it reports this one.
      document.Release();
      job.document = &unloaded_;
      for (PlannedSheet& sheet : job.plan.sheets) sheet.view = SheetView{};
      FinishInTurn(std::move(job));
    }
  }
}

void Batch::FinishInTurn(DrawingJob&& job) {
  std::unique_lock<std::mutex> lock(mutex_);
  const size_t index = job.index;
  waiting_.emplace(index, std::move(job));
  if (finishing_) return;  // the worker reporting an earlier drawing goes on to this one
  finishing_ = true;
  for (auto next = waiting_.find(finished_); next != waiting_.end(); next = waiting_.find(finished_)) {
    DrawingJob ready = std::move(next->second);
    waiting_.erase(next);
    lock.unlock();
    Finish(ready);
    lock.lock();
    ++finished_;
  }
  finishing_ = false;
}

void Batch::RunParallel(unsigned jobs) {
  std::vector<std::unique_ptr<JwwDocument>> documents;
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < jobs; ++i) documents.push_back(std::make_unique<JwwDocument>());
  for (unsigned i = 1; i < jobs; ++i) workers.emplace_back([this, &documents, i] { Work(*documents[i]); });
  Work(*documents[0]);
  for (std::thread& worker : workers) worker.join();
}

}  // namespace

void ConvertDrawings(BatchSetup& setup, const std::vector<std::filesystem::path>& files,
                     const std::optional<std::filesystem::path>& outputFolder, unsigned jobs, JwwDocument& document) {
  Batch batch(setup, files, outputFolder);
  if (jobs > files.size()) jobs = unsigned(files.size());
  if (jobs <= 1)
    batch.RunSerial(document);
  else
    batch.RunParallel(jobs);
}

}  // namespace kelvane
