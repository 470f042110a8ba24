<?php
// Deletes files/<Cesta>/<Subor> when a download of it asked for deletion
// (Zmazat=true left a mark) and the vendor allows deletion
// (KALVORAN_SERVER_DELETE); any other file stays. The downloader ignores the
// answer.

declare(strict_types=1);
require __DIR__ . '/../lib/downloader.php';

header('Content-Type: text/plain');
$file = kd_registered() ? kd_requested_file(kd_query('Cesta'), kd_query('Subor')) : null;
if ($file === null) {
    echo 'Unknown';
    exit;
}
$mark = kd_mark_path($file);
if ($mark === null || !is_file($mark)) {
    echo 'Kept';
    exit;
}
if (!kd_deletion_allowed()) {
    // The vendor keeps every file; the mark has served its purpose.
    @unlink($mark);
    echo 'Kept';
    exit;
}
$deleted = @unlink($file);
@unlink($mark);
echo $deleted ? 'Deleted' : 'Kept';
