// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/InotifyTreeMap_linux.h"

#include <algorithm>

namespace mv {

namespace {
constexpr std::size_t kMaxDepth = 4096;
}  // namespace

void TInotifyTreeMap::Link(int wd, int parentWd, const std::string& name) {
  auto [it, inserted] = nodes_.try_emplace(wd);
  TNode& node = it->second;
  if (!inserted) {
    if (node.parent == parentWd && node.name == name) return;
    Unlink(wd);
  }
  node.parent = parentWd;
  node.name = name;
  if (parentWd < 0) root_ = wd;
  if (parentWd >= 0 && parentWd != wd) {
    const auto p = nodes_.find(parentWd);
    if (p != nodes_.end()) p->second.children.push_back(wd);
  }
}

void TInotifyTreeMap::Adopt(std::vector<TArmedDir>& dirs) {
  nodes_.reserve(nodes_.size() + dirs.size());
  for (TArmedDir& d : dirs) {
    TNode& node = nodes_[d.wd];
    node.parent = d.parentWd;
    node.name = std::move(d.name);
    if (d.parentWd < 0) root_ = d.wd;
  }
  // Parents come in any order: children are linked once every node exists.
  for (const TArmedDir& d : dirs) {
    if (d.parentWd < 0) continue;
    const auto p = nodes_.find(d.parentWd);
    if (p != nodes_.end()) p->second.children.push_back(d.wd);
  }
}

bool TInotifyTreeMap::RelDir(int wd, std::string& out) const {
  out.clear();
  chain_.clear();
  for (int w = wd; w != root_;) {
    const auto it = nodes_.find(w);
    // A broken chain (or, after lost events, a cycle) names no place in the tree.
    if (it == nodes_.end() || chain_.size() == kMaxDepth) return false;
    chain_.push_back(&it->second);
    w = it->second.parent;
  }
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
    out += (*it)->name;
    out += '/';
  }
  return true;
}

int TInotifyTreeMap::FindChild(int parentWd, const std::string& name) const {
  const auto p = nodes_.find(parentWd);
  if (p == nodes_.end()) return -1;
  for (int c : p->second.children) {
    const auto it = nodes_.find(c);
    if (it != nodes_.end() && it->second.name == name) return c;
  }
  return -1;
}

int TInotifyTreeMap::Find(const std::string& rel) const {
  int wd = root_;
  for (std::size_t pos = 0; wd >= 0 && pos < rel.size();) {
    std::size_t end = rel.find('/', pos);
    if (end == std::string::npos) end = rel.size();
    wd = FindChild(wd, rel.substr(pos, end - pos));
    pos = end + 1;
  }
  return wd;
}

void TInotifyTreeMap::Unlink(int wd) {
  const auto it = nodes_.find(wd);
  if (it == nodes_.end() || it->second.parent < 0) return;
  const auto p = nodes_.find(it->second.parent);
  if (p == nodes_.end()) return;
  auto& c = p->second.children;
  c.erase(std::remove(c.begin(), c.end(), wd), c.end());
}

std::vector<int> TInotifyTreeMap::RemoveSubtree(int wd) {
  Unlink(wd);
  std::vector<int> removed;
  std::vector<int> todo{wd};
  while (!todo.empty()) {
    const int w = todo.back();
    todo.pop_back();
    const auto it = nodes_.find(w);
    if (it == nodes_.end()) continue;
    todo.insert(todo.end(), it->second.children.begin(), it->second.children.end());
    removed.push_back(w);
    nodes_.erase(it);
  }
  if (wd == root_) root_ = -1;
  return removed;
}

std::vector<int> TInotifyTreeMap::Except(const std::unordered_set<int>& seen) const {
  std::vector<int> out;
  for (const auto& [wd, node] : nodes_) {
    if (seen.count(wd) == 0) out.push_back(wd);
  }
  return out;
}

void TInotifyTreeMap::Clear() {
  std::unordered_map<int, TNode>().swap(nodes_);
  root_ = -1;
}

}  // namespace mv
