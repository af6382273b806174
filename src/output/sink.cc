#include "output/sink.h"

#include "read/column_choice.h"

namespace {

class TextSink : public ScanSink {
 public:
  TextSink(IndexTable& t, const ExportOptions& st, Console& con, TextWriter write)
      : t_(t), st_(st), con_(con), write_(write) {}

  bool one_output() const override { return false; }
  bool begin(const std::string& name) override {
    name_ = name;
    return true;
  }
  Added add(int ref) override {
    const Status s = write_(t_, st_, con_, ref, name_.c_str());
    if (s.report(con_.out)) return kWritten;
    return s.is_not_found() ? kSkipped : kFailed;
  }
  // Each scan's file was complete when add() returned.
  bool commit() override { return true; }
  void discard() override {}

 private:
  IndexTable& t_;
  const ExportOptions& st_;
  Console& con_;
  TextWriter write_;
  std::string name_;
};

}  // namespace

std::unique_ptr<ScanSink> text_sink(IndexTable& t, const ExportOptions& st, Console& con,
                                    TextWriter write) {
  return std::make_unique<TextSink>(t, st, con, write);
}
