<?php
// Appends the record in Text as one line to stats/<Subor> and confirms with
// exactly " Saved".

declare(strict_types=1);
require __DIR__ . '/../lib/downloader.php';

header('Content-Type: text/plain');
$subor = $_GET['Subor'] ?? null;
$text = $_GET['Text'] ?? null;
if (!kd_registered() || !is_string($subor) || !kd_plain_name($subor) || !is_string($text)) {
    echo 'Error';
    exit;
}

$root = kd_stats_root();
if (!is_dir($root)) {
    @mkdir($root, 0777, true);
}
// One record, one line, whatever the record holds. Many PHP workers append
// to the same hour file at once: each writes its whole line in one write
// while it holds the file's exclusive lock, so lines never interleave.
$line = str_replace(["\r", "\n"], ' ', $text) . "\n";
$handle = @fopen($root . '/' . $subor, 'ab');
$saved = false;
if ($handle !== false) {
    if (flock($handle, LOCK_EX)) {
        $saved = fwrite($handle, $line) === strlen($line) && fflush($handle);
        flock($handle, LOCK_UN);
    }
    fclose($handle);
}
echo $saved ? ' Saved' : 'Error';
