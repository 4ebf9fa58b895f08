// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/FileControls.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include "dialogs/LocalNames.h"
#include "utility/MountTable_linux.h"

namespace mv {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;

// Besides the kernel's own, file systems that hold nothing a user would save music to.
const std::set<std::string, std::less<>> kNoPlaceTypes = {
    "overlay", "ramfs", "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"};

bool IsUnder(const std::string& path, std::string_view folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

bool IsSystemPlace(const std::string& mount) {
  for (std::string_view place : {"/proc", "/sys", "/dev", "/snap"}) {
    if (mount == place || IsUnder(mount, place)) return true;
  }
  // Removable media are mounted below /run/media; everything else under /run is the system's.
  return (mount == "/run" || IsUnder(mount, "/run")) && !IsUnder(mount, "/run/media");
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home != '/') return "/";
  return detail::FullPath(home);
}

// Fixed item heights (the lists' classic look) and the folder list's indentation by depth.
class ItemDelegate : public QStyledItemDelegate {
 public:
  explicit ItemDelegate(const int* height, QObject* parent)
      : QStyledItemDelegate(parent), height_(height) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + Indent(index), *height_};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.setLeft(shifted.rect.left() + Indent(index));
    QStyledItemDelegate::paint(painter, shifted, index);
  }

 private:
  int Indent(const QModelIndex& index) const {
    return index.data(kLevelRole).toInt() * (*height_ * 2 / 3);
  }

  const int* height_;
};

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

enum class EntryKind { kFolder, kFile };

// The visible (not dot-named) entries of `folder` of one kind, in the user's collation order.
std::vector<std::string> ListEntries(const std::string& folder, EntryKind kind) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return names;
  while (dirent* entry = readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat st {};
    if (stat(Join(folder, entry->d_name).c_str(), &st) != 0) continue;
    bool wanted = kind == EntryKind::kFolder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    if (wanted) names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int order = QString::localeAwareCompare(detail::ToDisplay(a), detail::ToDisplay(b));
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

QListWidgetItem* MakeItem(const QString& text, const std::string& bytes, int level,
                          QStyle::StandardPixmap icon, const QWidget* owner) {
  auto* item = new QListWidgetItem(owner->style()->standardIcon(icon), text);
  item->setData(kPathRole, QByteArray::fromStdString(bytes));
  item->setData(kLevelRole, level);
  return item;
}

}  // namespace

std::vector<std::string> PickableMounts(std::string_view mountTable, const std::string& home) {
  std::vector<std::string> mounts;
  for (const TMountEntry& mount : ParseMountInfo(mountTable)) {
    const std::string& point = mount.point;
    if (point.empty() || point[0] != '/' || point == "/") continue;
    if (IsPseudoFsType(mount.type) || kNoPlaceTypes.count(mount.type) != 0) continue;
    if (IsSystemPlace(point)) continue;
    mounts.push_back(detail::FullPath(point));
  }
  if (!home.empty() && home != "/") mounts.push_back(home);
  std::sort(mounts.begin(), mounts.end());
  mounts.erase(std::unique(mounts.begin(), mounts.end()), mounts.end());
  mounts.insert(mounts.begin(), "/");
  return mounts;
}

std::string MountOf(const std::vector<std::string>& mounts, const std::string& path) {
  std::string best = "/";
  for (const std::string& m : mounts) {
    bool contains = m == "/" || path == m || IsUnder(path, m);
    if (contains && m.size() > best.size()) best = m;
  }
  return best;
}

// ---------------------------------------------------------------------------------------------

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  std::ifstream file("/proc/self/mountinfo");
  std::string table((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::string home = HomeDirectory();
  std::vector<std::string> candidates = PickableMounts(table, home);
  // Bind mounts of single files (common in containers) are no places to pick.
  for (const std::string& m : candidates) {
    if (m == "/" || detail::DirectoryExists(m)) drives_.push_back(m);
  }
  for (const std::string& m : drives_) {
    QStyle::StandardPixmap icon = m == home ? QStyle::SP_DirHomeIcon
                                  : IsUnder(m, "/media") || IsUnder(m, "/run/media")
                                      ? QStyle::SP_DriveFDIcon
                                      : QStyle::SP_DriveHDIcon;
    addItem(style()->standardIcon(icon), detail::ToDisplay(m), QByteArray::fromStdString(m));
  }
  connect(this, &QComboBox::currentIndexChanged, this, [this] { emit DriveChanged(); });
}

std::string TDriveComboBox::Drive() const {
  int index = currentIndex();
  return index >= 0 ? drives_[static_cast<std::size_t>(index)] : std::string("/");
}

void TDriveComboBox::SetDriveOf(const std::string& path) {
  std::string mount = MountOf(drives_, path);
  auto it = std::find(drives_.begin(), drives_.end(), mount);
  if (it != drives_.end()) setCurrentIndex(static_cast<int>(it - drives_.begin()));
}

// ---------------------------------------------------------------------------------------------

TBytesListBox::TBytesListBox(int itemHeight, QWidget* parent)
    : QListWidget(parent), itemHeight_(itemHeight) {
  setItemDelegate(new ItemDelegate(&itemHeight_, this));
  setUniformItemSizes(true);
}

void TBytesListBox::SetItemHeight(int height) {
  itemHeight_ = height;
  doItemsLayout();
}

// ---------------------------------------------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : TBytesListBox(17, parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Double-click only: Enter belongs to the dialog's default button.
  connect(this, &QListWidget::itemDoubleClicked, this, &TDirectoryListBox::OpenItem);
}

bool TDirectoryListBox::SetDirectory(const std::string& path) {
  const std::string full = detail::FullPath(path);
  {
    std::unique_ptr<DIR, int (*)(DIR*)> probe(opendir(full.c_str()), closedir);
    if (!probe) return false;
  }
  directory_ = full;
  clear();
  addItem(MakeItem(QStringLiteral("/"), "/", 0, QStyle::SP_DirOpenIcon, this));
  int level = 0;
  std::string reached;
  for (const std::filesystem::path& part : std::filesystem::path(full).relative_path()) {
    reached += "/" + part.string();
    addItem(
        MakeItem(detail::ToDisplay(part.string()), reached, ++level, QStyle::SP_DirOpenIcon, this));
  }
  QListWidgetItem* current = item(count() - 1);
  for (const std::string& name : ListEntries(full, EntryKind::kFolder)) {
    addItem(MakeItem(detail::ToDisplay(name), Join(full, name), level + 1, QStyle::SP_DirClosedIcon,
                     this));
  }
  setCurrentItem(current);
  scrollToItem(current);
  emit DirectoryChanged();
  return true;
}

void TDirectoryListBox::OpenItem(QListWidgetItem* item) {
  if (item == nullptr) return;
  std::string target = item->data(kPathRole).toByteArray().toStdString();
  if (target != directory_) SetDirectory(target);
}

// ---------------------------------------------------------------------------------------------

TFileListBox::TFileListBox(QWidget* parent) : TBytesListBox(13, parent) {
  setSelectionMode(QAbstractItemView::NoSelection);
  ApplyGreyText();
}

void TFileListBox::SetDirectory(const std::string& path) {
  directory_ = path;
  clear();
  for (const std::string& name : ListEntries(path, EntryKind::kFile)) {
    addItem(MakeItem(detail::ToDisplay(name), name, 0, QStyle::SP_FileIcon, this));
  }
}

void TFileListBox::ApplyGreyText() {
  QPalette p = palette();
  QColor grey = p.color(QPalette::Disabled, QPalette::Text);
  p.setColor(QPalette::Active, QPalette::Text, grey);
  p.setColor(QPalette::Inactive, QPalette::Text, grey);
  setPalette(p);
}

// ---------------------------------------------------------------------------------------------

TPathLabel::TPathLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

void TPathLabel::SetPath(const std::string& path) {
  path_ = path;
  setToolTip(detail::ToDisplay(path_));
  UpdateText();
}

void TPathLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateText();
}

void TPathLabel::UpdateText() {
  setText(fontMetrics().elidedText(detail::ToDisplay(path_), Qt::ElideMiddle, width()));
}

}  // namespace mv
