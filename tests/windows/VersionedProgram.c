/* A program that only carries a version resource (file version from VersionedProgram.rc). */
int main(void)
{
    return 0;
}
