// A process that only waits, so that tests can run it under whatever file
// name they need. It ends by itself after the given milliseconds (default a
// minute), in case the test that started it cannot stop it.
#include <windows.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv)
{
    DWORD lifetime = argc > 1 ? wcstoul(argv[1], NULL, 10) : 60000;
    Sleep(lifetime > 0 && lifetime <= 60000 ? lifetime : 60000);
    return 0;
}
