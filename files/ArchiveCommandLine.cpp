#include "files/ArchiveCommandLine.h"

#include "base/Path.h"
#include "base/TextCase.h"

TArchiverType ArchiverTypeOfName(std::string_view fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  struct TRow {
    const char* ext;
    TArchiverType type;
  };
  static const TRow kTable[] = {
      {".LZH", TArchiverType::atLha},
      {".CAB", TArchiverType::atCab},
      {".ZIP", TArchiverType::atZip},
      {".JAR", TArchiverType::atZip},
      {".EAR", TArchiverType::atZip},
      {".WAR", TArchiverType::atZip},
      {".ARJ", TArchiverType::atArj},
      {".RAR", TArchiverType::atRar},
      {".YZ1", TArchiverType::atYz1},
      {".GCA", TArchiverType::atGCA},
      {".GZA", TArchiverType::atBga},
      {".BZA", TArchiverType::atBga},
      {".BZ2", TArchiverType::atBZ2},
      {".TAR", TArchiverType::atTar},
      {".A", TArchiverType::atTar},
      {".LIB", TArchiverType::atTar},
      {".DEB", TArchiverType::atTar},
      {".RPM", TArchiverType::atTar},
      {".CPIO", TArchiverType::atTar},
      {".TGZ", TArchiverType::atTgz},
      {".GZ", TArchiverType::atTgz},
      {".Z", TArchiverType::atTgz},
      {".TAZ", TArchiverType::atTgz},
      {".7Z", TArchiverType::at7z},
      {".EXE", TArchiverType::atProbeContent},
  };
  for (const TRow& row : kTable) {
    if (ext == row.ext) return row.type;
  }
  return TArchiverType::atNone;
}

void TCmdOpt::Part(std::string_view text) {
  text_ += ' ';
  text_ += text;
}

void TCmdOpt::Numeric(std::string_view name, int value) {
  if (value < 0) return;
  text_ += " -";
  text_ += name;
  text_ += std::to_string(value);
}

void TCmdOpt::Text(std::string_view name, std::string_view value) {
  if (value.empty()) return;
  if (quoting_) {
    text_.append(" -").append(name).append(" \"").append(value).append("\"");
  } else {
    text_.append(" \"-").append(name).append(value).append("\"");
  }
}

void TCmdOpt::FileName(std::string_view name) {
  text_.append(" \"").append(name).append("\"");
}

std::string ZipMemberName(std::string_view member) {
  std::string out;
  for (size_t i = 0; i < member.size(); ++i) {
    const char c = member[i];
    if (c == '[') {
      out += "[[]";
    } else if (c == '\\') {
      out += '/';
    } else if (c == '-' && i == 0) {
      out += "[-]";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

std::string AsFolder(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

std::string ExtractMemCommandLine(TArchiverDriver driver, const std::string& archive,
                                  const std::string& member, TArchiverOptions& o,
                                  bool ownerWindow) {
  const bool tarFamily = driver == TArchiverDriver::Tar || driver == TArchiverDriver::Tgz ||
                         driver == TArchiverDriver::BZ2;
  TCmdOpt cmd(tarFamily);
  std::string memberName = member;
  cmd.Part("");  // the command word of a memory extraction is empty
  switch (driver) {
    case TArchiverDriver::Lha: {
      if (o.Num("jso") == -1) throw Exception("jso オプションが設定されていません。");
      cmd.Part("-+");
      for (const TArchiverSwitch& s : o.Switches()) {
        switch (s.Kind) {
          case TSwitchKind::Numeric:
            cmd.Numeric(s.Name, (s.Name == "n" && ownerWindow) ? 1 : s.Number);
            break;
          case TSwitchKind::Folder:
            cmd.Text(s.Name, AsFolder(s.Text));
            break;
          case TSwitchKind::Text:
            cmd.Text(s.Name, s.Text);
            break;
          case TSwitchKind::List:
            for (const std::string& item : s.List) cmd.Text("jx", item);
            break;
        }
      }
      cmd.Part(o.UserOptions);
      break;
    }
    case TArchiverDriver::Zip:
      if (o.Num("c") == 1) cmd.Part("-o");
      if (o.Num("n") > 0 || ownerWindow) cmd.Part("--i");
      if (o.Num("x") == 0) cmd.Part("-j");
      cmd.Part(o.UserOptions);
      memberName = ZipMemberName(member);
      break;
    case TArchiverDriver::Cab:
      if (o.Num("c") == 1) cmd.Part("-o");
      if (o.Num("n") > 0 || ownerWindow) cmd.Part("-i");
      if (o.Num("r") > 0) cmd.Part("-r");
      cmd.Text("h", AsFolder(o.Text("w")));
      if (o.Num("x") == 0) cmd.Part("-j");
      if (o.Num("ji") > 0) cmd.Part("-q");
      cmd.Part(o.UserOptions);
      break;
    case TArchiverDriver::Tar:
    case TArchiverDriver::Tgz:
    case TArchiverDriver::BZ2:
      if (o.Num("a") > 0) cmd.Part("-AH");
      if (o.Num("a") == 0) cmd.Part("-I");
      if (!ownerWindow && o.Num("n") > 0) cmd.Part("--display-dialog=0");
      if (o.Num("o") > 0) cmd.Part("-g");
      cmd.Numeric("-check-all-path=", o.Num("p"));
      cmd.Numeric("-use-directory=", o.Num("x"));
      if (driver != TArchiverDriver::Tar) {
        const char* name = driver == TArchiverDriver::Tgz ? "z" : "B";
        if (o.Num("jm") > 0) {
          cmd.Numeric(name, o.Num("jm"));
        } else {
          cmd.Part(std::string("-") + name);
        }
      }
      cmd.Part(o.UserOptions);
      cmd.Text("f", archive);
      cmd.Part("");  // the base directory: none for memory extraction
      cmd.FileName(memberName);
      cmd.Part(o.UserFileList);
      return cmd.Result();
    case TArchiverDriver::Rar:
      if (o.Num("c") <= 0) cmd.Part("-u");
      if (o.Num("m") > 0) cmd.Part("-y");
      if (o.Num("p") > 0) cmd.Part("-s");
      cmd.Part(o.UserOptions);
      break;
    case TArchiverDriver::Bga:
    case TArchiverDriver::Yz1:
    case TArchiverDriver::SevenZip:
      throw EArchiver("この形式ではメモリ展開をサポートしておりません。");
  }
  cmd.FileName(archive);
  cmd.Part("");  // the base directory: none for memory extraction
  cmd.FileName(memberName);
  cmd.Part(o.UserFileList);
  return cmd.Result();
}
