/* sqlcipher4 FILE: runs the SQL read from standard input on FILE and prints each row's values joined by '|', NULL
   as nothing. Exits 1 with the engine's message on the first failing statement. The test suite's stand-in for the
   engine's own shell, which its amalgamation does not carry. */

#include "sqlite3.h"

#include <stdio.h>
#include <stdlib.h>

static int PrintRow(void *unused, int count, char **values, char **names)
{
    (void)unused;
    (void)names;
    for (int i = 0; i < count; ++i)
        printf("%s%s", i ? "|" : "", values[i] ? values[i] : "");
    putchar('\n');
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: sqlcipher4 FILE < SQL\n");
        return 2;
    }
    size_t size = 0, capacity = 4096;
    char *sql = malloc(capacity);
    for (size_t got; sql && (got = fread(sql + size, 1, capacity - size - 1, stdin)) > 0;) {
        size += got;
        if (capacity - size == 1)
            sql = realloc(sql, capacity *= 2);
    }
    if (!sql)
        return 1;
    sql[size] = '\0';
    sqlite3 *db = NULL;
    char *error = NULL;
    int code = sqlite3_open(argv[1], &db);
    if (code == SQLITE_OK)
        code = sqlite3_exec(db, sql, PrintRow, NULL, &error);
    if (code != SQLITE_OK)
        fprintf(stderr, "sqlcipher4: %s\n", error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    sqlite3_close(db);
    free(sql);
    return code == SQLITE_OK ? 0 : 1;
}
