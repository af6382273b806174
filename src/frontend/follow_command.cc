#include "frontend/follow_command.h"

#include <unistd.h>

#include <memory>
#include <string>

#include "follow/follow.h"
#include "follow/grace_follow.h"

namespace {

// The interpreter's input as the follow sees it: any line (or the end of
// input) ends the follow.
class InputForFollow : public FollowInput {
 public:
  explicit InputForFollow(CommandInput& in) : in_(in) {
    // A line editor would show the interpreter's prompt while following.
    if (in_.shows_prompt()) in_.set_prompt("");
  }
  Result poll_line() override {
    std::string line;
    switch (in_.read_line_for(&line, 0)) {
      case CommandInput::kLine:
      case CommandInput::kTooLong:
        return kLine;
      case CommandInput::kEnd:
      case CommandInput::kError:
        return kEnd;
      case CommandInput::kPending:
        break;
    }
    return kNothing;
  }
  int fd() const override { return in_.fd(); }

 private:
  CommandInput& in_;
};

}  // namespace

int follow_command(Session& s, CommandInput& input, int ref, bool in_grace) {
  ConsoleSink console(s.con);
  std::unique_ptr<GraceSink> grace;
  FollowSink* sink = &console;
  if (in_grace) {
    if (grace_start(s.grace, s.con)) {
      grace.reset(new GraceSink(s.grace, s.settings, s.con));
      sink = grace.get();
    } else {
      fprintf(s.con.out, " Grace can't follow a scan here, following in the console\n");
    }
  }
  // The monitor is read only when normalising: a scan without its label is
  // followed all the same then.
  ColumnChoice cols = s.settings;
  if (!s.settings.normalize) cols.zlabel.clear();
  Follower f(s.index, s.con, cols, *sink, isatty(fileno(s.con.out)) != 0);
  InputForFollow in(input);
  SystemClock clock;
  follow_run(f, ref, in, clock);
  return f.ref();
}
