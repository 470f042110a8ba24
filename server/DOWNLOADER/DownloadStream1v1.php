<?php
// Serves files/<Cesta>/<Subor> as a binary download with its length, or the
// byte range a resumed download asks for (Range, If-Range). A file
// that is not served gets the content type "error" (with a short body, so
// that the downloader reads it and stops the job). Behind nginx the file
// itself goes out through nginx (X-Accel-Redirect); PHP only decides.

declare(strict_types=1);
require __DIR__ . '/../lib/downloader.php';

$file = kd_registered() ? kd_requested_file(kd_query('Cesta'), kd_query('Subor')) : null;
$handle = $file === null ? false : @fopen($file, 'rb');
if ($handle === false) {
    header('Content-Type: error');
    echo 'File not available';
    exit;
}

if (($_GET['Zmazat'] ?? '') === 'true' && kd_private_folder(kd_marks_root()) !== null) {
    @touch(kd_mark_path($file));
}

header('Content-Type: application/octet-stream');
$accel = kd_accel_uri($file);
if ($accel !== null) {
    // nginx sends the file with sendfile and sets its Content-Length.
    fclose($handle);
    header('X-Accel-Redirect: ' . $accel);
    exit;
}

// Stream the file, or the part of it a resumed download asks for: never the
// whole of it in memory.
while (ob_get_level() > 0) {
    ob_end_clean();
}
set_time_limit(0);
$stat = fstat($handle);
$size = $stat['size'];
$etag = kd_etag($stat);
$modified = kd_http_date($stat['mtime']);
header('Accept-Ranges: bytes');
header('ETag: ' . $etag);
header('Last-Modified: ' . $modified);
$range = kd_requested_range($size, $etag, $modified);
if ($range === false) {
    http_response_code(416);
    header("Content-Range: bytes */$size");
    header('Content-Length: 0');
    exit;
}
[$first, $last] = $range ?? [0, $size - 1];
if ($range !== null) {
    http_response_code(206);
    header("Content-Range: bytes $first-$last/$size");
}
header('Content-Length: ' . ($last - $first + 1));
if ($size > 0) {
    stream_copy_to_stream($handle, fopen('php://output', 'wb'), $last - $first + 1, $first);
}
fclose($handle);
