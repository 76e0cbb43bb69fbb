// Install settings (install.dat) and the disc-folder list stored with them.
#include "files/install_set.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        TMemoryStream s = InputStream(data, size);
        TVorqInstallSet set;
        Refusable([&] {
            set.LoadFromStream(s);
            // What was read writes back.
            TMemoryStream out;
            set.SaveToStream(out);
        });
    }
    {
        TMemoryStream s = InputStream(data, size);
        TFolderDiskList list;
        Refusable([&] { list.LoadFromStream(s); });
    }
    return 0;
}
