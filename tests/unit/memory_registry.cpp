#include "memory_registry.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace quilbo::testing {

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

class MemoryRegistry::Key : public RegistryKey {
 public:
  Key(MemoryRegistry& registry, std::vector<std::string> parts) : registry_(registry), parts_(std::move(parts)) {
    ++registry_.openKeys;
  }
  ~Key() override { --registry_.openKeys; }

  std::optional<RegValueInfo> QueryValue(std::string_view name) override {
    const RegValueData* value = Value(name);
    if (!value) return std::nullopt;
    return RegValueInfo{value->kind, static_cast<std::uint32_t>(value->bytes.size())};
  }

  std::optional<RegValueData> ReadValue(std::string_view name) override {
    const RegValueData* value = Value(name);
    if (!value || registry_.failingReads.count(std::string(name))) return std::nullopt;
    return *value;
  }

  bool WriteString(std::string_view name, std::string_view text) override {
    Node* node = registry_.Find(parts_);
    if (!node || registry_.failingWrites.count(std::string(name))) return false;
    std::string bytes(text);
    bytes.push_back('\0');
    node->values[std::string(name)] = RegValueData{RegValueKind::String, bytes};
    registry_.log.push_back("write " + std::string(name) + "=" + std::string(text));
    return true;
  }

  std::optional<std::uint32_t> SubkeyCount() override {
    Node* node = registry_.Find(parts_);
    if (!node) return std::nullopt;
    return static_cast<std::uint32_t>(node->subkeys.size());
  }

  std::optional<std::string> SubkeyName(std::uint32_t index) override {
    Node* node = registry_.Find(parts_);
    if (!node || index >= node->subkeys.size()) return std::nullopt;
    return std::next(node->subkeys.begin(), index)->first;
  }

 private:
  const RegValueData* Value(std::string_view name) const {
    Node* node = registry_.Find(parts_);
    if (!node) return nullptr;
    const auto it = node->values.find(std::string(name));
    return it == node->values.end() ? nullptr : &it->second;
  }

  MemoryRegistry& registry_;
  std::vector<std::string> parts_;
};

std::vector<std::string> MemoryRegistry::Split(std::string_view path) {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  std::vector<std::string> parts;
  while (!path.empty()) {
    const auto cut = path.find('\\');
    parts.emplace_back(path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  }
  return parts;
}

MemoryRegistry::Node* MemoryRegistry::Find(const std::vector<std::string>& parts) const {
  const Node* node = &root_;
  for (const std::string& part : parts) {
    const auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) return nullptr;
    node = it->second.get();
  }
  return const_cast<Node*>(node);
}

MemoryRegistry::Node* MemoryRegistry::Make(const std::vector<std::string>& parts) {
  Node* node = &root_;
  for (const std::string& part : parts) {
    auto& child = node->subkeys[part];
    if (!child) child = std::make_unique<Node>();
    node = child.get();
  }
  return node;
}

RegistryKeyPtr MemoryRegistry::OpenKey(std::string_view path) {
  auto parts = Split(path);
  if (denyAccess || !Find(parts)) return nullptr;
  return std::make_unique<Key>(*this, std::move(parts));
}

RegistryKeyPtr MemoryRegistry::CreateKey(std::string_view path) {
  if (denyAccess) return nullptr;
  auto parts = Split(path);
  Make(parts);
  return std::make_unique<Key>(*this, std::move(parts));
}

bool MemoryRegistry::DeleteKey(std::string_view path) {
  auto parts = Split(path);
  if (denyAccess || parts.empty() || failingDeletes.count(std::string(path))) return false;
  const std::string leaf = parts.back();
  parts.pop_back();
  Node* parent = Find(parts);
  if (!parent) return false;
  const auto it = parent->subkeys.find(leaf);
  // Like RegDeleteKey: a key that still has subkeys stays.
  if (it == parent->subkeys.end() || !it->second->subkeys.empty()) return false;
  parent->subkeys.erase(it);
  log.push_back("delete " + std::string(path));
  return true;
}

void MemoryRegistry::AddKey(std::string_view path) { Make(Split(path)); }

void MemoryRegistry::Put(std::string_view path, std::string_view name, RegValueKind kind, std::string bytes) {
  Make(Split(path))->values[std::string(name)] = RegValueData{kind, std::move(bytes)};
}

void MemoryRegistry::PutString(std::string_view path, std::string_view name, std::string_view text) {
  std::string bytes(text);
  bytes.push_back('\0');
  Put(path, name, RegValueKind::String, std::move(bytes));
}

bool MemoryRegistry::HasKey(std::string_view path) const { return Find(Split(path)) != nullptr; }

std::optional<RegValueData> MemoryRegistry::Get(std::string_view path, std::string_view name) const {
  const Node* node = Find(Split(path));
  if (!node) return std::nullopt;
  const auto it = node->values.find(std::string(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> MemoryRegistry::GetText(std::string_view path, std::string_view name) const {
  auto value = Get(path, name);
  if (!value) return std::nullopt;
  std::string text = value->bytes;
  if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace quilbo::testing
