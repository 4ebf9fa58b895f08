// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file-system controls of the directory chooser: a picker of mounted file systems, the
// folder list of the current path, the list of a folder's files and a label that shows a path.
// Paths are bytes in the locale's encoding and are kept as such beside what the widgets show.

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

// The mount points a user would pick from a mount table in the format of /proc/self/mountinfo:
// pseudo and system file systems left out, the root and `home` always included; root first,
// the rest in byte order. Octal escapes of the table ("\040" for a space) are decoded.
std::vector<std::string> PickableMounts(std::string_view mountTable, const std::string& home);

// The entry of `mounts` that contains `path` (the longest one that is a whole-component prefix);
// "/" when none does.
std::string MountOf(const std::vector<std::string>& mounts, const std::string& path);

// The drive picker: one entry per pickable mount point, plus the home directory.
class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  const std::vector<std::string>& Drives() const { return drives_; }
  // The chosen mount point.
  std::string Drive() const;
  // Chooses the entry containing `path`; emits DriveChanged when the choice changes.
  void SetDriveOf(const std::string& path);

 signals:
  void DriveChanged();

 private:
  std::vector<std::string> drives_;
};

// A list of one folder's entries: each item keeps the bytes of the path or name it stands for,
// and items are as high as set at 96 dots per inch, scaled with the dialog.
class TBytesListBox : public QListWidget {
 public:
  const std::string& Directory() const { return directory_; }
  void SetItemHeight(int height);
  int ItemHeight() const { return itemHeight_; }

 protected:
  TBytesListBox(int itemHeight, QWidget* parent);

  std::string directory_;

 private:
  int itemHeight_;
};

// The folder list: the path from the root down to the current folder, then its sub-folders.
// A double-click opens a folder.
class TDirectoryListBox : public TBytesListBox {
  Q_OBJECT

 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // False, with nothing changed, when `path` cannot be entered (missing, not a folder or not
  // readable). Emits DirectoryChanged on success.
  bool SetDirectory(const std::string& path);

 signals:
  void DirectoryChanged();

 private:
  void OpenItem(QListWidgetItem* item);
};

// The read-only list of the normal files of one folder, in grey text.
class TFileListBox : public TBytesListBox {
  Q_OBJECT

 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  void SetDirectory(const std::string& path);
  // The grey of disabled text, again after a palette or font change.
  void ApplyGreyText();
};

// Shows a path, shortened in the middle when it does not fit its width.
class TPathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TPathLabel(QWidget* parent = nullptr);

  const std::string& Path() const { return path_; }
  void SetPath(const std::string& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateText();

  std::string path_;
};

}  // namespace mv
