#include "output/sink.h"

#include "read/column_choice.h"

namespace {

class TextSink : public ScanSink {
 public:
  TextSink(IndexTable& t, const ExportOptions& st, Console& con, TextWriter write)
      : t_(t), st_(st), con_(con), write_(write) {}

  bool one_output() const override { return false; }
  Status begin(const std::string& name) override {
    name_ = name;
    return Status();
  }
  Status add(int ref) override { return write_(t_, st_, con_, ref, name_.c_str()); }
  // Each scan's file was complete when add() returned.
  Status commit() override { return Status(); }
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
