// pellora-db: tool for the database producer. Skeleton; commands come with the database work.
int main() {
    return 0;
}
