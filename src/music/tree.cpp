#include "music/tree.h"

#include <algorithm>
#include <vector>

#include "http/response.h"
#include "music/kinds.h"
#include "service/paths.h"
#include "text/json.h"
#include "text/utf.h"

namespace {

// The identities of the directories from the music directory down to the one
// being walked.
using Trail = std::vector<DirectoryIdentity>;

bool by_name(const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; }

Utf8String child_path(const Utf8String& relative, const Utf8String& name) {
  return relative.empty() ? name : relative + "/" + name;
}

void append_node_start(Utf8String& out, const Utf8String& name, const Utf8String& path) {
  out += "{\"name\":\"";
  out += json_escape(name);
  out += "\",\"path\":\"";
  out += json_escape(path);
  out += "\",\"type\":\"";
}

void walk(const WideString& directory, const Utf8String& relative, Utf8String& out, Trail& trail) {
  std::vector<DirectoryEntry> entries;
  platform().list_directory(directory, entries);
  std::vector<DirectoryEntry> folders;
  std::vector<DirectoryEntry> files;
  for (DirectoryEntry& entry : entries) {
    if (entry.is_directory) {
      folders.push_back(std::move(entry));
    } else if (file_kind(entry.name)) {
      files.push_back(std::move(entry));
    }
  }
  // u16string compares code units as unsigned numbers: no locale, no folding.
  std::sort(folders.begin(), folders.end(), by_name);
  std::sort(files.begin(), files.end(), by_name);

  out += '[';
  bool first = true;
  for (const DirectoryEntry& folder : folders) {
    const Utf8String name = utf16_to_utf8(folder.name);
    const Utf8String path = child_path(relative, name);
    const WideString child = join_path(directory, folder.name);
    if (!first) out += ',';
    append_node_start(out, name, path);
    out += "folder\",\"children\":";
    // Written straight into the answer: a level built apart and then appended
    // would copy every byte once more per level above it.
    DirectoryIdentity identity;
    const bool known = platform().directory_identity(child, identity);
    if (known && std::find(trail.begin(), trail.end(), identity) != trail.end()) {
      out += "[]";  // a link back up the walk: a cycle
    } else {
      if (known) trail.push_back(identity);
      walk(child, path, out, trail);
      if (known) trail.pop_back();
    }
    out += '}';
    first = false;
  }
  for (const DirectoryEntry& file : files) {
    const Utf8String name = utf16_to_utf8(file.name);
    if (!first) out += ',';
    append_node_start(out, name, child_path(relative, name));
    out += file_kind(file.name);
    out += "\",\"ext\":\"";
    out += json_escape(extension_text(file.name));
    out += "\"}";
    first = false;
  }
  out += ']';
}

}  // namespace

WideString music_root() { return join_path(data_directory(), u"music"); }

void build_music_tree(const WideString& directory, const Utf8String& relative, Utf8String& out) {
  Trail trail;
  DirectoryIdentity identity;
  if (platform().directory_identity(directory, identity)) trail.push_back(identity);
  walk(directory, relative, out, trail);
}

void handle_music_tree(Socket socket) {
  const WideString root = music_root();
  // Created on demand; a failure only shows as an empty tree.
  ensure_directory(data_directory());
  ensure_directory(root);
  Utf8String body;
  build_music_tree(root, "", body);
  send_response(socket, 200, "OK", kJsonType, body);
}
