{ Writes text_funcs.tsv: the text functions' results as the Pascal run-time
  library computes them, one case a line: name, arguments, result. Bytes
  outside printable ASCII are written as \xHH. Rebuild with
  tests/engine/golden/make_text_funcs.sh. }
program text_funcs;
{$mode delphi}
uses SysUtils;

function Esc(const S: AnsiString): AnsiString;
var i: Integer;
begin
  Result := '';
  for i := 1 to Length(S) do
    if (Ord(S[i]) < 32) or (Ord(S[i]) > 126) or (S[i] = '\') then
      Result := Result + '\x' + IntToHex(Ord(S[i]), 2)
    else Result := Result + S[i];
end;

procedure Line(const Fields: array of AnsiString);
var i: Integer; L: AnsiString;
begin
  L := '';
  for i := 0 to High(Fields) do begin
    if i > 0 then L := L + #9;
    L := L + Esc(Fields[i]);
  end;
  writeln(L);
end;

function B(V: Boolean): AnsiString;
begin if V then Result := 'TRUE' else Result := 'FALSE'; end;

const
  Nums: array[0..6] of LongInt = (0, 7, -5, 123, 2147483647, -2147483647 - 1, 305419896);
  Digs: array[0..5] of AnsiString = ('', '0', '1', '3', '10', '12');
  HexDigs: array[0..5] of LongInt = (0, 1, 4, 8, 9, 16);
  Idx: array[0..7] of LongInt = (-1, 0, 1, 2, 3, 6, 7, 10);
  Cnt: array[0..4] of LongInt = (-1, 0, 2, 5, 100);
  Pairs: array[0..12, 0..1] of AnsiString = (('a', 'B'), ('B', 'a'), ('abc', 'ab'), ('', 'x'), ('', ''),
    ('[', 'a'), ('_', 'z'), ('Hello', 'hELLO'), ('a'#200, 'A'#100), ('abc', 'abd'), ('Zebra', 'apple'),
    ('x'#$82#$A0, 'X'#$82#$A1), ('bc', 'abcbc'));
  Names: array[0..10] of AnsiString = ('c:\dir.x\file', 'a.txt', 'c:\a\b.tar.gz', 'noext', 'c:name.e', '\',
    '.hidden', 'a.', 'dir\', 'x:', '');
  Trims: array[0..5] of AnsiString = ('  ab c  ', #9#0'x'#13#10, #1#2, '', 'abc', ' '#$81#$40'a'#$81#$40' ');
  Cases: array[0..3] of AnsiString = ('Hello, World!', 'abcXYZ', '', 'mixed123_[z]');
  Repl: array[0..5, 0..2] of AnsiString = (('aAbAa', 'a', 'x'), ('aaaa', 'aa', 'b'), ('abc', '', 'z'),
    ('Hello hello', 'HELLO', 'bye'), ('abcabc', 'bc', ''), ('x', 'xyz', 'q'));
var i, j, k: Integer; S: AnsiString;
begin
  AllowDirectorySeparators := ['\'];
  AllowDriveSeparators := [':'];
  FirstDotAtFileNameStartIsExtension := True;
  for i := 0 to High(Nums) do begin
    Line(['IntToStr', IntToStr(Nums[i]), IntToStr(Nums[i])]);
    for j := 0 to High(Digs) do
      Line(['IntToStr', IntToStr(Nums[i]), Digs[j], Format('%.' + Digs[j] + 'd', [Nums[i]])]);
    for j := 0 to High(HexDigs) do
      Line(['IntToHex', IntToStr(Nums[i]), IntToStr(HexDigs[j]), IntToHex(Nums[i], HexDigs[j])]);
  end;
  for i := 0 to High(Pairs) do begin
    Line(['CompareStr', Pairs[i, 0], Pairs[i, 1], IntToStr(CompareStr(Pairs[i, 0], Pairs[i, 1]))]);
    Line(['CompareText', Pairs[i, 0], Pairs[i, 1], IntToStr(CompareText(Pairs[i, 0], Pairs[i, 1]))]);
    Line(['Pos', Pairs[i, 0], Pairs[i, 1], IntToStr(Pos(Pairs[i, 0], Pairs[i, 1]))]);
  end;
  for i := 0 to High(Idx) do begin
    Line(['Copy', 'abcdef', IntToStr(Idx[i]), Copy('abcdef', Idx[i], MaxInt)]);
    S := 'abcdef';
    Delete(S, Idx[i], MaxInt);
    Line(['Delete', 'abcdef', IntToStr(Idx[i]), S]);
    S := 'abcdef';
    Insert('XY', S, Idx[i]);
    Line(['Insert', 'XY', 'abcdef', IntToStr(Idx[i]), S]);
    for j := 0 to High(Cnt) do begin
      Line(['Copy', 'abcdef', IntToStr(Idx[i]), IntToStr(Cnt[j]), Copy('abcdef', Idx[i], Cnt[j])]);
      S := 'abcdef';
      Delete(S, Idx[i], Cnt[j]);
      Line(['Delete', 'abcdef', IntToStr(Idx[i]), IntToStr(Cnt[j]), S]);
    end;
  end;
  for i := 0 to High(Idx) do begin
    Line(['IsDelimiter', '.\', 'a.b\c\', IntToStr(Idx[i]), B(IsDelimiter('.\', 'a.b\c\', Idx[i]))]);
    Line(['IsPathDelimiter', 'a.b\c\', IntToStr(Idx[i]), B(IsPathDelimiter('a.b\c\', Idx[i]))]);
  end;
  for i := 0 to High(Names) do begin
    Line(['ExtractFilePath', Names[i], ExtractFilePath(Names[i])]);
    Line(['ExtractFileName', Names[i], ExtractFileName(Names[i])]);
    Line(['ExtractFileExt', Names[i], ExtractFileExt(Names[i])]);
    Line(['ChangeFileExt', Names[i], '.bmp', ChangeFileExt(Names[i], '.bmp')]);
    Line(['ChangeFileExt', Names[i], '', ChangeFileExt(Names[i], '')]);
  end;
  for i := 0 to High(Trims) do
    Line(['Trim', Trims[i], Trim(Trims[i])]);
  for i := 0 to High(Cases) do begin
    Line(['UpperCase', Cases[i], UpperCase(Cases[i])]);
    Line(['LowerCase', Cases[i], LowerCase(Cases[i])]);
  end;
  for i := 0 to High(Repl) do
    for j := 0 to 1 do
      for k := 0 to 1 do begin
        if (j = 0) and (k = 0) then
          S := StringReplace(Repl[i, 0], Repl[i, 1], Repl[i, 2], [])
        else if (j = 1) and (k = 0) then
          S := StringReplace(Repl[i, 0], Repl[i, 1], Repl[i, 2], [rfReplaceAll])
        else if (j = 0) and (k = 1) then
          S := StringReplace(Repl[i, 0], Repl[i, 1], Repl[i, 2], [rfIgnoreCase])
        else
          S := StringReplace(Repl[i, 0], Repl[i, 1], Repl[i, 2], [rfReplaceAll, rfIgnoreCase]);
        Line(['StringReplace', Repl[i, 0], Repl[i, 1], Repl[i, 2], B(j = 1), B(k = 1), S]);
      end;
end.
