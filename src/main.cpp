// The program: the application object decides between the no-UI run and the session.
#include <cstdio>

int main()
{
    std::puts("velquor");
    return 0;
}
