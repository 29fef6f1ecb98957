// kestrova-cli embed --domain URL [choices]: prints the snippet a company
// pastes into its pages (or, with --preview, the preview address), built from
// the same choices as the tool's video panel:
//   --fixed             the player stands where the snippet stands (default: floating)
//   --single [FILE]     one video; FILE is the selected video's file name
//   --width N --height N, --title TEXT
//   --card --rec --zhimo --logo --autoplay    the five check boxes
//   --titlebg RRGGBB --titlefontcolor RRGGBB --borderlinecolor RRGGBB
#include <iostream>
#include <regex>

#include "command.h"
#include "embed_code.h"

namespace kestrova::cli {
namespace {

const char* kUsage =
    "embed --domain URL [--fixed] [--single [FILE]] [--width N] [--height N] [--card] [--rec] [--zhimo] "
    "[--logo] [--autoplay] [--title TEXT] [--titlebg RRGGBB] [--titlefontcolor RRGGBB] "
    "[--borderlinecolor RRGGBB] [--preview]";

// The colour pictures only ever give six hex digits; say so rather than hand
// out a snippet the player would have to second-guess.
std::string Colour(const Arguments& args, const std::string& name, const std::string& fallback) {
  std::string value = args.value(name, fallback);
  if (!std::regex_match(value, std::regex("[0-9A-Fa-f]{6}"))) {
    throw std::invalid_argument("--" + name + " 应为六位十六进制数（RRGGBB），而不是“" + value + "”");
  }
  return value;
}

int RunEmbed(const std::vector<std::string>& words) {
  Arguments args(words, {"fixed", "card", "rec", "zhimo", "logo", "autoplay", "preview"});
  std::string domain = args.value("domain");
  if (domain.empty() || !args.positionals().empty()) {
    std::cerr << "用法：kestrova-cli " << kUsage << "\n";
    return 2;
  }
  publishing::EmbedOptions o;
  o.isFloor = !args.has("fixed");
  if (args.has("single")) {
    o.isMulVideofiles = false;
    if (!args.value("single").empty()) o.fileName = args.value("single");
  }
  o.playerWidth = args.value("width", o.playerWidth);
  o.playerHeight = args.value("height", o.playerHeight);
  o.displayCard = args.has("card");
  o.displayRec = args.has("rec");
  o.displayZhimo = args.has("zhimo");
  o.displayLogo = args.has("logo");
  o.autoplay = args.has("autoplay");
  o.title = args.value("title", o.title);
  o.titleBgColor = Colour(args, "titlebg", o.titleBgColor);
  o.titleFontColor = Colour(args, "titlefontcolor", o.titleFontColor);
  o.borderLineColor = Colour(args, "borderlinecolor", o.borderLineColor);

  std::string query = publishing::BuildScriptQuery(o);
  std::cout << (args.has("preview") ? publishing::PreviewAddress(domain, query)
                                    : publishing::BuildScriptText(domain, query))
            << "\n";
  return 0;
}

const CommandRegistrar kRegistrar({"embed", kUsage, RunEmbed});

}  // namespace
}  // namespace kestrova::cli
