// The byte streams over a file: typed reads through a cipher and a data stream, driven by
// the operations of the second part of the input (one byte each) over the file of the first.
#include "TCipherInputStream.h"
#include "TDataInputStream.h"
#include "TFileInputStream.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = tulim::fuzz::inputParts(data, size, 2);
  const std::string path = tulim::fuzz::inputFile("in.bin", parts[0]);
  const std::string& ops = parts[1];
  tulim::fuzz::fatalAllowed([&] {
    const int bufferSize = ops.empty() ? 0 : static_cast<unsigned char>(ops[0]) % 70;
    tulim::TFileInputStream file(bufferSize);
    if (!file.open(path.c_str())) return;
    tulim::TCipherInputStream cipher(&file);
    cipher.setKey(ops.size() > 1 && (ops[1] & 1) ? "k3y" : nullptr);
    tulim::TDataInputStream in(&cipher);
    char line[300];
    unsigned char bytes[300];
    for (size_t i = 2; i < ops.size(); ++i) {
      const int op = static_cast<unsigned char>(ops[i]);
      const int arg = op >> 3;
      switch (op & 7) {
        case 0: in.readByte(); break;
        case 1: in.readInt(); break;
        case 2: in.readFloat(); break;
        case 3: in.readDouble(); break;
        case 4: in.readLine(line, arg * 9 - 1); break;
        case 5: in.skip(arg * 9 - 2); break;
        case 6: in.reset(); break;
        default: in.read(bytes, arg * 9 - 1); in.available(); in.position(); break;
      }
    }
    in.close();
  });
  return 0;
}
