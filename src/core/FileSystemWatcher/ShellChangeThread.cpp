// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/ShellChangeThread.h"

#include <exception>
#include <system_error>
#include <utility>

#include "FileSystemWatcher/ChangeRecords.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// Records per hand-over. While a batch is being decoded the worker keeps collecting up to this
// many more, so a busy main thread does not leave the system's queue to overflow, and a long
// scan stays bounded in memory.
constexpr std::size_t kMaxBatch = 16384;

}  // namespace

// What the worker, its posted tasks and the component share. Posted tasks keep it alive, so a
// task that runs after the worker (or the whole component) is gone finds the terminate flag set
// and does nothing.
struct TShellChangeThread::TShared {
  TFileDealMethod handler;
  std::shared_ptr<TWorkerHooks> hooks;
  std::shared_ptr<IChangeSource> source;
  // Main thread only: delivery happens only while set.
  bool active = false;
  std::atomic<bool> terminated{false};
  std::atomic<std::uint64_t> generation{0};  // bumped by each SetDirectoryOptions
  std::mutex mutex;
  std::condition_variable cv;
  TWatchOptions options{};    // under mutex
  std::uint64_t decoded = 0;  // under mutex: sequence number of the last batch that ran
};

namespace {

// What a batch carries besides its records, at the position it was said among them.
struct TMark {
  std::size_t at;  // records before it
  bool live;       // else may-have-removed
  std::string rel;
  bool subtree;
};

// Delivers one batch on the main thread: the handler calls, and the removals and the live and
// broken states in order with them.
void Deliver(const TWorkerHooks& hooks, const TFileDealMethod& handler,
             const std::atomic<bool>& terminated, const bool& active, const TChanges& batch,
             const std::vector<TMark>& marks, const std::string& dir, bool current) {
  // A throwing handler does not cost the rest of the batch; its first exception goes on to the
  // main loop once the batch is delivered.
  std::exception_ptr first;
  auto call = [&](auto&& f) {
    try {
      f();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  auto open = [&] { return !terminated.load() && active; };
  auto markAt = [&](std::size_t m) {
    const TMark& k = marks[m];
    if (k.live) {
      // A batch of an earlier configuration cannot make the new one live.
      if (current) call([&] { hooks.live(dir); });
    } else {
      const bool broken = k.rel.empty();
      const std::string path = broken ? dir : dir + k.rel;
      call([&] { hooks.mayHaveRemoved(path, k.subtree || broken, broken); });
    }
  };
  std::size_t m = 0;
  for (std::size_t i = 0; i < batch.size() && open(); ++i) {
    for (; m < marks.size() && marks[m].at == i && open(); ++m) markAt(m);
    const TChange& c = batch[i];
    const TFileEvent e = ChangeEvent(c, dir);
    call([&] { handler(e.operation, e.name1, e.name2); });
    if (!open()) break;
    if ((c.kind == TChangeKind::ckRemoved || c.kind == TChangeKind::ckRenamed) && !c.name.empty()) {
      // Where the source does not know whether it was a directory, all below it may be gone.
      const std::string path = FullName(dir, c.name);
      call([&] { hooks.mayHaveRemoved(path, c.entry != TEntryKind::ekFile, false); });
    }
  }
  for (; m < marks.size() && open(); ++m) markAt(m);
  if (first) std::rethrow_exception(first);
}

}  // namespace

class TShellChangeThread::TSink final : public IChangeSink {
 public:
  TSink(IMainThreadDispatcher& mainThread, std::shared_ptr<TShared> shared)
      : mainThread_(mainThread), shared_(std::move(shared)) {}

  void Begin(std::uint64_t generation, std::string directory) {
    seenGeneration_ = generation;
    directory_ = std::move(directory);
    batch_.clear();
    marks_.clear();
  }
  std::uint64_t Generation() const { return seenGeneration_; }

  void Report(TChange change) override {
    if (batch_.size() >= kMaxBatch) {
      if (!HandOver(true)) {  // interrupted: the batch is stale anyway
        batch_.clear();
        marks_.clear();
      }
    }
    batch_.push_back(std::move(change));
  }

  bool Interrupted() const override {
    return shared_->terminated.load() || shared_->generation.load() != seenGeneration_;
  }

  void Notice(TNoticeKind kind, const std::string& text) override {
    if (kind == TNoticeKind::nkLimit) {
      if (noticed_) return;
      noticed_ = true;
    }
    mainThread_.Post([shared = shared_, kind, text] {
      if (shared->terminated.load() || !shared->hooks->notice) return;
      shared->hooks->notice(kind, text);
    });
  }

  void Live() override { marks_.push_back(TMark{batch_.size(), true, {}, true}); }

  void MayHaveRemoved(std::string rel, bool subtree) override {
    marks_.push_back(TMark{batch_.size(), false, std::move(rel), subtree});
  }

  // Hands the collected records to the main thread unless an earlier batch has not run yet;
  // with wait, waits for that one first. False when interrupted while waiting.
  bool HandOver(bool wait) {
    {
      std::unique_lock lock(shared_->mutex);
      if (shared_->decoded < posted_) {
        if (!wait) return true;
        shared_->cv.wait(lock, [&] { return shared_->decoded >= posted_ || Interrupted(); });
        if (shared_->decoded < posted_) return false;
      }
    }
    if (batch_.empty() && marks_.empty()) return true;
    const std::uint64_t seq = ++posted_;
    mainThread_.Post([shared = shared_, batch = std::exchange(batch_, {}),
                      marks = std::exchange(marks_, {}), seq, dir = directory_,
                      generation = seenGeneration_] {
      if (shared->terminated.load()) return;  // nobody waits for it any more
      struct TDone {
        TShared& s;
        std::uint64_t seq;
        ~TDone() {
          {
            std::lock_guard lock(s.mutex);
            s.decoded = seq;
          }
          s.cv.notify_all();
          s.source->Wake();
        }
      } done{*shared, seq};
      Deliver(*shared->hooks, shared->handler, shared->terminated, shared->active, batch, marks,
              dir, shared->generation.load() == generation);
    });
    return true;
  }

 private:
  IMainThreadDispatcher& mainThread_;
  std::shared_ptr<TShared> shared_;
  std::uint64_t seenGeneration_ = 0;
  std::string directory_;
  TChanges batch_;
  std::vector<TMark> marks_;
  std::uint64_t posted_ = 0;
  bool noticed_ = false;
};

TShellChangeThread::TShellChangeThread(IMainThreadDispatcher& mainThread, TFileDealMethod handler,
                                       std::unique_ptr<IChangeSource> source,
                                       std::shared_ptr<TWorkerHooks> hooks)
    : mainThread_(mainThread), shared_(std::make_shared<TShared>()) {
  shared_->handler = std::move(handler);
  shared_->hooks = std::move(hooks);
  shared_->source = std::move(source);
}

TShellChangeThread::~TShellChangeThread() {
  Terminate();
  Join();
}

void TShellChangeThread::SetDirectoryOptions(const std::string& directory, bool active,
                                             std::uint32_t notifyFilter, bool watchSubTree) {
  shared_->active = active;
  {
    std::lock_guard lock(shared_->mutex);
    // An empty directory stands for the root, as a lone delimiter does.
    const std::string dir = directory.empty()
                                ? std::string(1, PlatformDelimiters().directory.front())
                                : WithDirDelimiter(directory);
    shared_->options = TWatchOptions{dir, notifyFilter, watchSubTree};
    shared_->generation.fetch_add(1);
  }
  shared_->cv.notify_all();
  shared_->source->Wake();
}

void TShellChangeThread::Resume() {
  if (thread_.joinable() || shared_->terminated.load()) return;
  finished_ = false;
  try {
    thread_ = std::thread([this] {
      Execute();
      finished_ = true;
    });
  } catch (const std::system_error&) {
    finished_ = true;
    throw EOutOfResources("无法创建监视线程");
  }
}

void TShellChangeThread::Terminate() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->terminated = true;
  }
  shared_->cv.notify_all();
  shared_->source->Wake();
}

void TShellChangeThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TShellChangeThread::Execute() {
  IChangeSource& source = *shared_->source;
  TSink sink(mainThread_, shared_);
  while (!shared_->terminated.load()) {
    if (shared_->generation.load() != sink.Generation()) {
      TWatchOptions options;
      std::uint64_t generation;
      {
        std::lock_guard lock(shared_->mutex);
        options = shared_->options;
        generation = shared_->generation.load();
      }
      sink.Begin(generation, options.directory);
      const bool watching = source.Open(options, sink);
      if (sink.Interrupted()) continue;
      sink.HandOver(false);  // what the opening said (live, gone) need not wait for a change
      mainThread_.Post([shared = shared_, watching] {
        if (shared->terminated.load() || !shared->hooks->armed) return;
        shared->hooks->armed(watching);
      });
      continue;
    }
    source.WaitAndCollect(sink);
    if (!sink.Interrupted()) sink.HandOver(false);
  }
  source.Close();
}

}  // namespace mv
