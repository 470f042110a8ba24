// kalvoran-key: makes and inspects download keys. Keys are issued with the
// same code table the downloader reads them with; this is the vendor's and the
// tests' way to produce them. Arguments and output are UTF-8.
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cp1250.h"
#include "funkcie.h"
#include "key_descriptor.h"
#include "key_encoder.h"
#include "random_folder.h"
#include "str_to_int.h"
#include "tool_arguments.h"

namespace {

using namespace kalvoran;

constexpr int kOk = 0;
constexpr int kUnreadable = 1;
constexpr int kRefused = 2;

void PrintUsage(std::ostream& out) {
  out << "usage: kalvoran-key encode DESCRIPTOR\n"
         "       kalvoran-key decode KEY\n"
         "       kalvoran-key random-folder\n"
         "       kalvoran-key --version\n"
         "\n"
         "encode  prints the key that unscrambles to exactly DESCRIPTOR, e.g.\n"
         "          kalvoran-key encode \"1;noo;Pack;a.zip*b.pdf;b.pdf\"\n"
         "        DESCRIPTOR has 2 to "
      << kMaxDescriptorLength
      << " characters of the code table: the blank, A-Z,\n"
         "        a-z, 0-9, printable ASCII punctuation except the grave accent,\n"
         "        \xC2\xA7, \xC2\xB0 and the accented letters\n"
         "        \xC3\x81\xC3\x84\xC3\x89\xC3\x8D\xC3\x93\xC3\x94\xC3\x9A\xC3\x9C\xC3\x9D"
         "\xC4\x8C\xC4\x8E\xC4\x9A\xC4\xB9\xC4\xBD\xC5\x87\xC5\x94\xC5\x98\xC5\x9A\xC5\xA0"
         "\xC5\xA4\xC5\xAE\xC5\xB0\xC5\xBD and their small forms.\n"
         "decode  prints what the downloader reads from KEY (its first line, at most\n"
         "        "
      << kMaxKeyLength
      << " characters), one item per line:\n"
         "          descriptor: the unscrambled text\n"
         "          server: field 1 as an integer (0, 1, 2 choose a server)\n"
         "          delete: true or false (false only for field 2 \"noo\")\n"
         "          folder: field 3\n"
         "          files: the file list as fetched, names separated by \"*\"\n"
         "          run: field 5, the file opened at the end (empty for none)\n"
         "random-folder\n"
         "        prints a new folder name of 128 random bits (32 hexadecimal digits)\n"
         "        from the system's secure random source. A key is scrambled, not\n"
         "        signed: anyone who has one key can make keys for any folder he can\n"
         "        name. Put every package in a folder of such a name, a new one for\n"
         "        each package that only one customer is to fetch.\n"
         "\n"
         "Exit status: 0 done; 1 the key is unreadable (field 1 is no integer);\n"
         "2 a usage error, a descriptor that cannot be made into a key, or no\n"
         "random source.\n";
}

int Encode(std::string_view utf8) {
  const std::string descriptor = Utf8ToCp1250(utf8);
  // Characters that Windows-1250 lacks arrive as "?", which the table holds:
  // catch them before they slip through as question marks.
  if (Cp1250ToUtf8(descriptor) != utf8) {
    std::cerr << "kalvoran-key: the descriptor holds a character that is outside the code "
                 "table or is not valid UTF-8\n";
    return kRefused;
  }
  try {
    std::cout << EncodeKeyOrThrow(descriptor) << '\n';
    return kOk;
  } catch (const EKeyEncodeError& e) {
    std::cerr << "kalvoran-key: cannot make a key: " << Cp1250ToUtf8(e.what()) << '\n';
    return kRefused;
  }
}

int Decode(std::string_view utf8) {
  // The downloader reads line 1 of the key field, at most kMaxKeyLength characters.
  std::string key = Utf8ToCp1250(utf8);
  key = key.substr(0, key.find_first_of("\r\n"));
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);

  const std::string descriptor = UnscrambleKey(key);
  std::cout << "descriptor: " << Cp1250ToUtf8(descriptor) << '\n';
  KeyDescriptor d;
  try {
    d = ReadKeyDescriptor(descriptor);
  } catch (const EConvertError& e) {
    std::cout.flush();
    std::cerr << "kalvoran-key: the key is unreadable: field 1 " << Cp1250ToUtf8(e.what()) << '\n';
    return kUnreadable;
  }
  std::string files;
  for (const std::string& f : d.Files) {
    if (!files.empty()) files += '*';
    files += f;
  }
  std::cout << "server: " << d.ServerIndex << '\n'
            << "delete: " << (d.DeleteFlag ? "true" : "false") << '\n'
            << "folder: " << Cp1250ToUtf8(d.Cesta) << '\n'
            << "files: " << Cp1250ToUtf8(files) << '\n'
            << "run: " << Cp1250ToUtf8(d.RunFile) << '\n';
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = tools::Utf8Arguments(argc, argv);
  const std::size_t count = args.size();
  const std::string_view command = count >= 2 ? std::string_view(args[1]) : std::string_view();
  if (count == 2 && (command == "--help" || command == "-h")) {
    PrintUsage(std::cout);
    return kOk;
  }
  if (argc == 2 && command == "--version") {
    std::cout << "kalvoran-key " KALVORAN_VERSION "\n";
    return kOk;
  }
  if (count == 3 && command == "encode") return Encode(args[2]);
  if (count == 3 && command == "decode") return Decode(args[2]);
  if (count == 2 && command == "random-folder") {
    try {
      std::cout << tools::RandomFolderName() << '\n';
      return kOk;
    } catch (const std::runtime_error& e) {
      std::cerr << "kalvoran-key: no random folder name: " << e.what() << '\n';
      return kRefused;
    }
  }
  PrintUsage(std::cerr);
  return kRefused;
}
