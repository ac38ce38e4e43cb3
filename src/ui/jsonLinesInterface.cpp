#include "ui/jsonLinesInterface.h"

#include "pe/resourceText.h"
#include "ui/presetAnswers.h"

namespace ui {
namespace {

const char* IconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error: return "error";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Question: return "question";
    case BoxIcon::Information: break;
  }
  return "information";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    std::size_t length = 0;
    if (!pe::DecodeUtf8(text, at, &code, &length)) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    const char c = text[at];
    if (length > 1) {
      out.append(text, at, length);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escaped;
    } else {
      out += c;
    }
    at += length;
  }
  return out + "\"";
}

JsonLinesInterface::JsonLinesInterface(const PresetAnswers& answers, std::FILE* output)
    : answers_(answers), output_(output) {}

void JsonLinesInterface::Line(const std::string& fields) {
  std::fprintf(output_, "{%s}\n", fields.c_str());
  std::fflush(output_);
}

void JsonLinesInterface::ShowMessage(const char* caption, const char* text, BoxIcon icon) {
  Line(std::string("\"type\":\"message\",\"icon\":\"") + IconName(icon) + "\",\"caption\":" + JsonString(caption) +
       ",\"text\":" + JsonString(text));
}

bool JsonLinesInterface::AskYesNo(const char*, const char* text) {
  const bool yes = answers_.start == PresetAnswers::Start::Yes;
  Line("\"type\":\"question\",\"kind\":\"start\",\"text\":" + JsonString(text) + ",\"answer\":\"" +
       (yes ? "yes" : "no") + "\"");
  return yes;
}

int JsonLinesInterface::AskAbortRetryIgnore(const char*, const char* text, bool) {
  const bool ignore = answers_.onError == PresetAnswers::OnError::Ignore;
  Line("\"type\":\"question\",\"kind\":\"error\",\"text\":" + JsonString(text) + ",\"answer\":\"" +
       (ignore ? "ignore" : "abort") + "\"");
  return ignore ? kIgnore : kAbort;
}

std::string JsonLinesInterface::ChooseDistribution(const std::vector<KnownDistribution>& known,
                                                   const std::vector<std::string>& candidates) {
  const std::string chosen = PresetDistribution(answers_, candidates);
  std::string offered = "[";
  for (const std::string& candidate : candidates) {
    if (offered.size() > 1) offered += ",";
    offered += "{\"tag\":" + JsonString(candidate) + ",\"name\":" + JsonString(DistributionDisplayName(known, candidate)) + "}";
  }
  Line("\"type\":\"question\",\"kind\":\"distribution\",\"offered\":" + offered + "],\"answer\":" +
       (chosen.empty() ? std::string("null") : JsonString(chosen)));
  return chosen;
}

void JsonLinesInterface::SetTitle(const char* text) { Line("\"type\":\"title\",\"text\":" + JsonString(text)); }

void JsonLinesInterface::SetStatus(const char* text) { Line("\"type\":\"status\",\"text\":" + JsonString(text)); }

void JsonLinesInterface::AppendLog(const char* text) { Line("\"type\":\"log\",\"text\":" + JsonString(text)); }

void JsonLinesInterface::SetTotal(std::uint64_t total) {
  total_ = total;
  done_ = 0;
  Progress();
}

void JsonLinesInterface::Advance(std::uint64_t amount) {
  done_ += amount;
  Progress();
}

void JsonLinesInterface::Progress() {
  const int percent = ProgressPercent(done_, total_);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  Line("\"type\":\"progress\",\"percent\":" + std::to_string(percent));
}

void JsonLinesInterface::WriteActionLine(const char* text) {
  Line("\"type\":\"action\",\"text\":" + JsonString(text));
}

void JsonLinesInterface::WriteResult(int code) { Line("\"type\":\"result\",\"code\":" + std::to_string(code)); }

}  // namespace ui
