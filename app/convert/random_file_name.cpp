#include "random_file_name.h"

#include <random>

namespace kestrova::convert {

std::string randomFileName() {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device entropy;
  std::mt19937 generator(entropy());
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kAlphabet) - 2);
  std::string name;
  for (int i = 0; i < 16; ++i) name += kAlphabet[pick(generator)];
  return name;
}

}  // namespace kestrova::convert
