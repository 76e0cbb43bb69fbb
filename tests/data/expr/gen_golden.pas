{ Golden tables for the engine's number/text and date conversions, made
  with Free Pascal's run-time library in Delphi mode (Extended is the
  80-bit x87 type on x86-64 Linux).

  How to run (Free Pascal 3.2.2), from this folder:
      fpc -Mdelphi -O1 gen_golden.pas && ./gen_golden && rm -f gen_golden gen_golden.o

  Every table is tab-separated, one case a line. Texts are written as hex
  bytes so that spaces survive; reals as the 10 bytes of the Extended
  (little-endian) or the 8 bytes of a Double, in hex.

  Inputs on which this library is known to differ from the player's
  conversions are left out here and tested by hand instead ("%" and "&" prefixes, tabs before a number,
  more than 8 hex digits, "INF"/"NAN", "." alone, an exponent without
  digits or without a mantissa, and overflowing real texts). }
{$mode delphi}
program gen_golden;

uses SysUtils, DateUtils, Math;

var
  seed: LongWord = 20261207;

function NextRand: LongWord;
begin
  seed := seed * 1103515245 + 12345;
  Result := seed shr 8;
end;

function HexBytes(p: PByte; n: Integer): string;
var i: Integer;
begin
  Result := '';
  for i := 0 to n - 1 do Result := Result + IntToHex(p[i], 2);
end;

function HexText(const s: string): string;
begin
  if s = '' then Result := '-' else Result := HexBytes(PByte(PChar(s)), Length(s));
end;

function ExtHex(v: Extended): string;
begin
  Result := HexBytes(PByte(@v), 10);
end;

function DblHex(v: Double): string;
begin
  Result := HexBytes(PByte(@v), 8);
end;

{ ---- text to integer ---- }
{ The player reads integer text as a value that must lie in the signed
  32-bit range, hex included ("$FFFFFFFF" is 4294967295, out of range, and
  fails). Read into Int64 (no input here has more than 8 hex digits, so
  nothing wraps) and check the range. }
procedure IntCase(var f: Text; const s: string);
var v: Int64; code: Integer;
begin
  Val(s, v, code);
  if (code = 0) and (v >= -2147483648) and (v <= 2147483647) then WriteLn(f, HexText(s), #9, 'ok', #9, v)
  else WriteLn(f, HexText(s), #9, 'fail');
end;

procedure GenStrToInt;
const
  Fixed: array[0..47] of string = ('0', '12', ' 12', '12 ', '  -7', '+5', '-0', '', ' ', '-', '+', '$', 'x', '0x',
    '$1F', 'x1F', 'X1f', '0x1F', '0X1f', '-$10', '+$10', '$FFFFFFFF', '$80000000', '-$80000000', '$7FFFFFFF',
    '-$FFFFFFFF', '2147483647', '-2147483648', '-2147483647', '12abc', 'abc', '1e3', '1.5', '$G', '0x', '00012',
    '$0000000F', '- 5', '--5', '+-5', '1 2', 'x0', '2147483648', '-2147483649', '4294967295', '-$80000001',
    '$100000000', '0x80000000');
var f: Text; i, k, n: Integer; s: string; d: LongWord;
begin
  Assign(f, 'str_to_int.tsv'); Rewrite(f);
  for i := Low(Fixed) to High(Fixed) do IntCase(f, Fixed[i]);
  for i := 1 to 300 do
  begin
    d := NextRand mod 2147483647;
    case i mod 4 of
      0: s := IntToStr(d);
      1: s := '-' + IntToStr(d);
      2: s := '$' + IntToHex(NextRand, 1 + Integer(NextRand mod 8));
      3: begin
           n := 1 + Integer(NextRand mod 8);
           s := '0x' + LowerCase(IntToHex(NextRand xor (NextRand shl 8), n));
         end;
    end;
    if i mod 7 = 0 then s := '  ' + s;
    IntCase(f, s);
  end;
  Close(f);
end;

{ ---- real to text ---- }
function RandomExtended(minExp, maxExp: Integer): Extended;
var m: QWord; e: Integer; r: Extended;
begin
  m := (QWord(NextRand) shl 40) xor (QWord(NextRand) shl 16) xor NextRand;
  r := (m mod 1000000000000000000) / 1e18;
  e := minExp + Integer(NextRand mod LongWord(maxExp - minExp + 1));
  Result := r * Power(10, e);
  if NextRand mod 2 = 0 then Result := -Result;
end;

procedure GenFloatToStr;
const
  Fixed: array[0..26] of Extended = (0, 1, -1, 0.5, 2.5, 0.1, 1e14, 1e15, 1e16, 999999999999999, 999999999999999.5,
    1234567890123465, 1234567890123455, 123456789012345678, 1e-3, 1e-4, 1e-6, 1.5e-7, 0.000123456,
    3.14159265358979324, 100, 1e100, 1e-100, 123.456, -0.001, 4294967296, 1e300);
var f: Text; i: Integer; v: Extended;
begin
  Assign(f, 'float_to_str.tsv'); Rewrite(f);
  for i := Low(Fixed) to High(Fixed) do WriteLn(f, ExtHex(Fixed[i]), #9, FloatToStr(Fixed[i]));
  for i := 1 to 400 do
  begin
    v := RandomExtended(-12, 22);
    WriteLn(f, ExtHex(v), #9, FloatToStr(v));
  end;
  for i := 1 to 100 do
  begin
    v := (NextRand mod 2000000) / 8;  { exact binary fractions }
    WriteLn(f, ExtHex(v), #9, FloatToStr(v));
  end;
  Close(f);
end;

{ ---- text to real ---- }
procedure GenStrToFloat;
const
  Fixed: array[0..30] of string = ('0', '1.5', ' 1.5', '1.5 ', '-2.25', '+3', '1.', '.5', '-.5', '1e5', '1E+5',
    '2.5e-3', '1e', '', ' ', '-', '$10', '0x10', '1,5', '1.2.3', '12abc', '1e-5000',
    '123456789012345678901234567890', '0.1', '0.2', '0.3', '3.14159265358979323846', '1.7976931348623157e308',
    '4.9e-324', '1e4000', '-0');
var f: Text; i: Integer; s: string; v: Extended;
begin
  Assign(f, 'str_to_float.tsv'); Rewrite(f);
  for i := Low(Fixed) to High(Fixed) do
    if TryStrToFloat(Fixed[i], v) then WriteLn(f, HexText(Fixed[i]), #9, 'ok', #9, ExtHex(v))
    else WriteLn(f, HexText(Fixed[i]), #9, 'fail');
  for i := 1 to 300 do
  begin
    s := IntToStr(NextRand mod 100000);
    if i mod 2 = 0 then s := s + '.' + IntToStr(NextRand mod 1000);
    if i mod 3 = 0 then s := s + 'e' + IntToStr(Integer(NextRand mod 40) - 20);
    if i mod 5 = 0 then s := '-' + s;
    if TryStrToFloat(s, v) then WriteLn(f, HexText(s), #9, 'ok', #9, ExtHex(v))
    else WriteLn(f, HexText(s), #9, 'fail');
  end;
  Close(f);
end;

{ ---- real to integer ---- }
procedure GenFloatToInt;
const
  Fixed: array[0..15] of Extended = (0, 2.9, -2.9, 2.5, -2.5, 0.999, -0.999, 2147483647, 2147483648, -2147483649,
    4294967296.75, -4294967297.5, 1e18, -1e18, 9.2e18, 1234567890123.9);
var f: Text; i: Integer; v: Extended;
begin
  Assign(f, 'float_to_int.tsv'); Rewrite(f);
  for i := Low(Fixed) to High(Fixed) do WriteLn(f, ExtHex(Fixed[i]), #9, Integer(Trunc(Fixed[i])), #9, Round(Fixed[i]));
  for i := 1 to 300 do
  begin
    v := RandomExtended(-2, 18);
    WriteLn(f, ExtHex(v), #9, Integer(Trunc(v)), #9, Round(v));
  end;
  Close(f);
end;

{ ---- dates ---- }
procedure GenDates;
var f: Text; i, y, m, d: Integer; dt: Double; yy, mm, dd, h, mi, s, ms: Word;
begin
  Assign(f, 'encode_date.tsv'); Rewrite(f);
  for i := 1 to 400 do
  begin
    y := Integer(NextRand mod 10002);
    m := Integer(NextRand mod 14);
    d := Integer(NextRand mod 33);
    if i mod 3 = 0 then y := 1900 + Integer(NextRand mod 300);
    if i mod 5 = 0 then begin m := 2; d := 28 + Integer(NextRand mod 3); end;
    try
      dt := EncodeDate(y, m, d);
      WriteLn(f, y, #9, m, #9, d, #9, 'ok', #9, DblHex(dt));
    except
      WriteLn(f, y, #9, m, #9, d, #9, 'fail');
    end;
  end;
  Close(f);

  Assign(f, 'encode_time.tsv'); Rewrite(f);
  for i := 1 to 300 do
  begin
    y := Integer(NextRand mod 26);
    m := Integer(NextRand mod 62);
    d := Integer(NextRand mod 62);
    try
      dt := EncodeTime(y, m, d, 0);
      WriteLn(f, y, #9, m, #9, d, #9, 'ok', #9, DblHex(dt));
    except
      WriteLn(f, y, #9, m, #9, d, #9, 'fail');
    end;
  end;
  Close(f);

  Assign(f, 'decode_date.tsv'); Rewrite(f);
  for i := 1 to 500 do
  begin
    dt := (Integer(NextRand mod 3500000) - 650000) + (NextRand mod 16777216) / 16777216.0;
    if i mod 4 = 0 then dt := Integer(NextRand mod 80000) - 20000 + (NextRand mod 1440) / 1440.0;
    if i mod 9 = 0 then dt := -(NextRand mod 70000) - (NextRand mod 86400) / 86400.0;
    DecodeDate(dt, yy, mm, dd);
    DecodeTime(dt, h, mi, s, ms);
    WriteLn(f, DblHex(dt), #9, yy, #9, mm, #9, dd, #9, h, #9, mi, #9, s, #9, ms, #9, DayOfWeek(dt));
  end;
  Close(f);
end;

begin
  GenStrToInt;
  GenFloatToStr;
  GenStrToFloat;
  GenFloatToInt;
  GenDates;
end.
