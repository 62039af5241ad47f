#include "Session.h"

#include "Protocol.h"
#include "kivlink.h"

namespace kivlink::nut {

void Session::Close() noexcept {
  socket_.Close();
  buffer_.clear();
}

int Session::Fail(int rc) {
  if (rc == KIVLINK_ERR_CONNECT || rc == KIVLINK_ERR_TIMEOUT || rc == KIVLINK_ERR_PROTOCOL ||
      rc == KIVLINK_ERR_UNKNOWN)
    Close();
  return rc;
}

int Session::Send(const std::string& line, Clock::time_point deadline) {
  // Bytes nobody asked for would be taken as the next reply.
  if (!buffer_.empty()) return Fail(KIVLINK_ERR_PROTOCOL);
  return Fail(socket_.SendAll(line + "\n", deadline));
}

int Session::ReadWords(Clock::time_point deadline, std::vector<std::string>& words) {
  std::size_t scanned = 0;
  for (;;) {
    const auto lf = buffer_.find('\n', scanned);
    if (lf != std::string::npos) {
      std::string_view line(buffer_.data(), lf);
      if (line.ends_with('\r')) line.remove_suffix(1);
      if (line.size() > kMaxLineLength) return Fail(KIVLINK_ERR_PROTOCOL);
      auto parsed = SplitWords(line);
      buffer_.erase(0, lf + 1);
      if (!parsed || parsed->empty()) return Fail(KIVLINK_ERR_PROTOCOL);
      words = std::move(*parsed);
      return KIVLINK_OK;
    }
    scanned = buffer_.size();
    if (buffer_.size() > kMaxLineLength + 1) return Fail(KIVLINK_ERR_PROTOCOL);
    if (const int rc = socket_.Receive(buffer_, kMaxLineLength + 2 - buffer_.size(), deadline); rc != KIVLINK_OK)
      return Fail(rc);
  }
}

int Session::Simple(const std::string& line, const char* expected, Clock::time_point deadline) {
  if (const int rc = Send(line, deadline); rc != KIVLINK_OK) return rc;
  std::vector<std::string> words;
  if (const int rc = ReadWords(deadline, words); rc != KIVLINK_OK) return rc;
  return Fail(ReplyCode(words, expected));
}

int Session::FirstUps(Clock::time_point deadline) {
  if (const int rc = Send("LIST UPS", deadline); rc != KIVLINK_OK) return rc;
  std::vector<std::string> words;
  if (const int rc = ReadWords(deadline, words); rc != KIVLINK_OK) return rc;
  if (const int rc = ReplyCode(words, "BEGIN"); rc != KIVLINK_OK) return Fail(rc);
  if (words != std::vector<std::string>{"BEGIN", "LIST", "UPS"}) return Fail(KIVLINK_ERR_PROTOCOL);
  std::string first;
  for (;;) {
    if (const int rc = ReadWords(deadline, words); rc != KIVLINK_OK) return rc;
    if (words == std::vector<std::string>{"END", "LIST", "UPS"}) break;
    if (words.size() < 2 || words[0] != "UPS") return Fail(KIVLINK_ERR_PROTOCOL);
    if (first.empty()) first = words[1];
  }
  if (first.empty()) return KIVLINK_ERR_NO_SUCH_UPS;
  ups_ = std::move(first);
  return KIVLINK_OK;
}

int Session::Open(const NutTarget& target, Clock::time_point deadline) {
  Close();
  if (const int rc = Socket::Open(target.host, target.port, deadline, socket_); rc != KIVLINK_OK) return rc;
  int rc = KIVLINK_OK;
  if (target.HasCredentials()) {
    rc = Simple("USERNAME " + Quote(target.user), "OK", deadline);
    if (rc == KIVLINK_OK) rc = Simple("PASSWORD " + Quote(target.password), "OK", deadline);
  }
  ups_ = target.ups;
  if (rc == KIVLINK_OK && ups_.empty()) rc = FirstUps(deadline);
  // LOGIN is the only command by which upsd checks a password.
  if (rc == KIVLINK_OK && target.HasCredentials()) rc = Simple("LOGIN " + Quote(ups_), "OK", deadline);
  if (rc != KIVLINK_OK) Close();
  return rc;
}

Reading Session::GetVar(const std::string& name, Clock::time_point deadline) {
  if (const int rc = Send("GET VAR " + Quote(ups_) + " " + Quote(name), deadline); rc != KIVLINK_OK)
    return {rc, {}};
  std::vector<std::string> words;
  if (const int rc = ReadWords(deadline, words); rc != KIVLINK_OK) return {rc, {}};
  if (const int rc = ReplyCode(words, "VAR"); rc != KIVLINK_OK) return {Fail(rc), {}};
  // The reply must be about what was asked, or the conversation is out of step.
  if (words.size() != 4 || words[1] != ups_ || words[2] != name) return {Fail(KIVLINK_ERR_PROTOCOL), {}};
  return {KIVLINK_OK, std::move(words[3])};
}

void Session::Logout(Clock::time_point deadline) {
  if (IsOpen()) Simple("LOGOUT", "OK", deadline);
  Close();
}

}  // namespace kivlink::nut
