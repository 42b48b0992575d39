#include "format/family_names.h"

#include "io/names.h"

namespace engine {

namespace {

bool HasLowerCaseExtension(const std::string& name) {
  for (char c : ExtensionOf(name))
    if (c >= 'a' && c <= 'z') return true;
  return false;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

std::string CompanionName(const std::string& dbName, const std::string& extension) {
  return BaseNameOf(dbName) + "." + (HasLowerCaseExtension(dbName) ? Lower(extension) : extension);
}

std::string TreeExtension(const std::string& xExtension) { return "Y" + xExtension.substr(1); }

std::string TreeFileName(const std::string& xName) {
  std::string y = xName;
  const size_t dot = y.rfind('.');
  if (dot != std::string::npos && dot + 1 < y.size()) y[dot + 1] = y[dot + 1] == 'x' ? 'y' : 'Y';
  return y;
}

}  // namespace engine
