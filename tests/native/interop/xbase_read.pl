#!/usr/bin/perl
# Reads a table or one tag of its compound index with Perl XBase and prints it
# in tvxdb's line format, so that the two readings can be compared.
#   xbase_read.pl records FILE.DBF   recno TAB (* or blank) TAB fields...
#   xbase_read.pl keys FILE.CDX TAG   a "#tag" line with the header values,
#                                     then recno TAB key, in the tag's order
# Bytes outside printable ASCII and the backslash are written as \xHH.
use strict;
use warnings;
use XBase;
use XBase::Index;

sub esc {
    my ($s) = @_;
    $s =~ s/([^\x20-\x5b\x5d-\x7e])/sprintf("\\x%02X", ord $1)/ge;
    return $s;
}

binmode STDOUT;
my $mode = shift @ARGV // '';
if ($mode eq 'records') {
    my ($file) = @ARGV;
    my $table = XBase->new($file) or die "XBase: " . XBase->errstr . "\n";
    print "#fields ", join(',', map { $_ . ':' . $table->field_type($_) . ':' . $table->field_length($_) }
                           $table->field_names), "\n";
    for my $i (0 .. $table->last_record) {
        my ($deleted, @values) = $table->get_record($i);
        die "XBase: record " . ($i + 1) . ": " . $table->errstr . "\n" unless defined $deleted;
        print join("\t", $i + 1, $deleted ? '*' : ' ', map { esc($_ // '') } @values), "\n";
    }
    $table->close;
} elsif ($mode eq 'keys') {
    my ($file, $tag) = @ARGV;
    my $index = XBase::Index->new($file, tag => $tag, type => 'C')
        or die "XBase::Index: " . XBase::Index->errstr . "\n";
    printf "#tag %s expr=%s for=%s keylen=%d options=0x%02x\n", $tag, $index->{key_string},
        $index->{for_string} // '', $index->{key_length}, $index->{index_options};
    $index->prepare_select or die "XBase::Index: " . $index->errstr . "\n";
    while (my ($key, $recno) = $index->fetch) {
        print $recno, "\t", esc($key), "\n";
    }
} else {
    die "usage: xbase_read.pl records FILE.DBF | keys FILE.CDX TAG\n";
}
